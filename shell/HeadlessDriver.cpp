#include "shell/HeadlessDriver.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPixmap>
#include <QWidget>
#include <cstring>
#include <ostream>
#include <string_view>

#include "shell/Main.h"
#include "shell/checking.h"
#include "upgrade/SequencerVars.h"

std::string HeadlessUsage() {
  return "usage:\n"
         "  upsfw-cli show FILE\n"
         "      load FILE (S-record .S19 or Intel HEX .HEX) as \"&Browse...\" does; print each\n"
         "      listing line, then Model:, Firmware Version: and Checksum:.\n"
         "      Exit 0 when the file loaded, 1 otherwise.\n"
         "  upsfw-cli version --port COMn\n"
         "      open COMn and ask the UPS for its versions.\n"
         "      Exit 0 when the UPS answered, 1 otherwise.\n"
         "  upsfw-cli upgrade --port COMn --file FILE [--no-read-comparison] [--empty 0x00|0xFF]\n"
         "                    [--screenshot PNG]\n"
         "      load FILE, open COMn and upgrade the UPS; print each status line as\n"
         "      'blue: TEXT' or 'red: TEXT' and the progress.\n"
         "      Exit 0 when the run ends blue, 1 when it ends red, 2 when it never started.\n"
         "      --screenshot saves a picture of the window as the run left it.\n"
         "\n"
         "Message boxes go to standard error as 'TITLE: TEXT'. COMn opens the entry comn of the\n"
         "port folder ($UPSFW_PORTS, else ${XDG_CONFIG_HOME:-~/.config}/upsfw/ports), else\n"
         "/dev/ttyS(n-1).\n";
}

namespace {

bool ParsePort(std::string_view text, int& port) {
  if (text.size() != 4 || text.substr(0, 3) != "COM" || text[3] < '1' || text[3] > '4') {
    return false;
  }
  port = text[3] - '0';
  return true;
}

}  // namespace

std::optional<HeadlessOptions> ParseHeadlessArgs(int argc, char** argv, std::ostream& err) {
  HeadlessOptions options;
  if (argc < 2) {
    err << HeadlessUsage();
    return std::nullopt;
  }
  options.command = argv[1];
  int i = 2;
  if (options.command == "show") {
    if (argc != 3) {
      err << "upsfw-cli show: expected one FILE\n";
      return std::nullopt;
    }
    options.file = argv[2];
    return options;
  }
  if (options.command != "version" && options.command != "upgrade") {
    err << "upsfw-cli: unknown command '" << options.command << "'\n" << HeadlessUsage();
    return std::nullopt;
  }
  for (; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--port" && has_value) {
      if (!ParsePort(argv[++i], options.port)) {
        err << "upsfw-cli: --port takes COM1 to COM4\n";
        return std::nullopt;
      }
    } else if (arg == "--file" && has_value && options.command == "upgrade") {
      options.file = argv[++i];
    } else if (arg == "--no-read-comparison" && options.command == "upgrade") {
      options.read_comparison = false;
    } else if (arg == "--screenshot" && has_value && options.command == "upgrade") {
      options.screenshot = argv[++i];
    } else if (arg == "--empty" && has_value && options.command == "upgrade") {
      const std::string_view value = argv[++i];
      if (value == "0x00" || value == "0X00") {
        options.empty_index = 0;
      } else if (value == "0xFF" || value == "0xff" || value == "0XFF") {
        options.empty_index = 1;
      } else {
        err << "upsfw-cli: --empty takes 0x00 or 0xFF\n";
        return std::nullopt;
      }
    } else {
      err << "upsfw-cli: unexpected argument '" << arg << "'\n" << HeadlessUsage();
      return std::nullopt;
    }
  }
  if (options.port == 0) {
    err << "upsfw-cli " << options.command << ": --port COMn is required\n";
    return std::nullopt;
  }
  if (options.command == "upgrade" && options.file.empty()) {
    err << "upsfw-cli upgrade: --file FILE is required\n";
    return std::nullopt;
  }
  return options;
}

namespace {

// The window for one command, with the dialog and the message boxes answered here.
class Session {
 public:
  Session(const HeadlessOptions& options, std::ostream& err) {
    SetMessageBoxHandler(
        [&err](const TMessageBoxRequest& box) { err << box.caption << ": " << box.text << "\n"; });
    SetOpenDialogHandler(
        [file = options.file](const TOpenDialog&) -> std::optional<std::string> { return file; });
    form_ = std::make_unique<TTarvikUPSForm>();
    TarvikUPSForm = form_.get();
    checking_ = std::make_unique<TFormChecking>();
    FormChecking = checking_.get();
    form_->Show();
    form_->Timer1->SetEnabled(false);
  }
  ~Session() {
    TCloseAction action = TCloseAction::caHide;
    form_->FormClose(form_.get(), action);
    FormChecking = nullptr;
    TarvikUPSForm = nullptr;
    SetMessageBoxHandler(nullptr);
    SetOpenDialogHandler(nullptr);
  }
  TTarvikUPSForm& Form() { return *form_; }

 private:
  std::unique_ptr<TTarvikUPSForm> form_;
  std::unique_ptr<TFormChecking> checking_;
};

void ChoosePort(TTarvikUPSForm& form, int port) {
  if (form.CB_COMPort->ItemIndex() != port - 1) form.CB_COMPort->Choose(port - 1);
}

int Show(TTarvikUPSForm& form, std::ostream& out) {
  form.BUT_LOAD->Click();
  const TLineStore& lines = form.MM_HEX->Lines;
  for (int i = 0; i < lines.Count(); ++i) out << lines[i] << '\n';
  out << "Model: " << form.L_MODEL->Caption() << '\n'
      << "Firmware Version: " << form.L_VERSION->Caption() << '\n'
      << "Checksum: " << form.L_CHECKSUM->Caption() << '\n';
  return form.FileLoaded ? 0 : 1;
}

int Version(TTarvikUPSForm& form, int port, std::ostream& out) {
  ChoosePort(form, port);
  form.BUT_OPEN->Click();
  if (!form.ComOpened) return 1;
  // A label no answer can set tells whether the UPS answered.
  const std::string unanswered = "\x01";
  form.L_ProgrammerVersion->SetCaption(unanswered);
  form.Button1->Click();
  const bool answered = form.L_ProgrammerVersion->Caption() != unanswered;
  if (!answered) form.L_ProgrammerVersion->SetCaption("");
  out << "UPS Firmware Version: " << form.L_UPSVersion->Caption() << '\n'
      << "Programmer Version: " << form.L_ProgrammerVersion->Caption() << '\n';
  return answered ? 0 : 1;
}

class ProgressPrinter {
 public:
  ProgressPrinter(std::ostream& out, std::ostream& err, bool bar)
      : out_(out), err_(err), bar_(bar) {}
  void Update(int position, int max) {
    const int percent = max > 0 ? static_cast<int>(100LL * position / max) : 0;
    if (percent == last_percent_ && max == last_max_) return;
    last_percent_ = percent;
    last_max_ = max;
    if (bar_) {
      const int filled = percent / 2;
      err_ << "\r[" << std::string(static_cast<size_t>(filled), '#')
           << std::string(static_cast<size_t>(50 - filled), ' ') << "] " << percent << "% "
           << std::flush;
    } else {
      out_ << "progress " << position << "/" << max << '\n' << std::flush;
    }
  }
  void Finish() {
    if (bar_ && last_percent_ >= 0) err_ << '\n';
  }

 private:
  std::ostream& out_;
  std::ostream& err_;
  bool bar_;
  int last_percent_ = -1;
  int last_max_ = -1;
};

int Upgrade(TTarvikUPSForm& form, const HeadlessOptions& options, std::ostream& out,
            std::ostream& err, bool progress_bar) {
  form.BUT_LOAD->Click();
  if (!form.FileLoaded) return 2;
  ChoosePort(form, options.port);
  form.BUT_OPEN->Click();
  if (!form.ComOpened) return 2;
  form.CB_READ->SetChecked(options.read_comparison);
  form.CB_Default->SetItemIndex(options.empty_index);

  QObject::connect(static_cast<QLineEdit*>(form.ED_MSG->Widget()), &QLineEdit::textChanged,
                   [&form, &out](const QString& text) {
                     if (text.isEmpty()) return;
                     out << (form.ED_MSG->FontColor() == clRed ? "red: " : "blue: ")
                         << text.toStdString() << '\n'
                         << std::flush;
                   });
  ProgressPrinter progress(out, err, progress_bar);
  form.BUT_BURN->Click();
  if (!form.Burning) {
    // The negotiation failed (its message is on the status line), or a box stopped it.
    return form.ED_MSG->Text().empty() ? 2 : 1;
  }

  // Timer1 ticks as it does in the window, until the run has ended and unlocked.
  QEventLoop loop;
  form.Timer1->OnTimer = [&form, &progress, &loop](TObject* sender) {
    form.Timer1Timer(sender);
    progress.Update(form.PB_BURN->Position(), form.PB_BURN->Max());
    if (!form.Burning && !TickStarted) loop.quit();
  };
  form.Timer1->SetEnabled(true);
  loop.exec();
  form.Timer1->SetEnabled(false);
  progress.Finish();
  if (!options.screenshot.empty() && !form.Widget()->grab().save(ToQString(options.screenshot))) {
    err << "upsfw-cli: cannot save " << options.screenshot << '\n';
  }
  return form.ED_MSG->FontColor() == clRed ? 1 : 0;
}

}  // namespace

int RunHeadless(const HeadlessOptions& options, std::ostream& out, std::ostream& err,
                bool progress_bar) {
  Session session(options, err);
  TTarvikUPSForm& form = session.Form();
  if (options.command == "show") return Show(form, out);
  if (options.command == "version") return Version(form, options.port, out);
  return Upgrade(form, options, out, err, progress_bar);
}
