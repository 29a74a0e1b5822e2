#include "platform/Dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

#include "platform/Forms.h"

namespace {
MessageBoxHandler message_box_handler;
OpenDialogHandler open_dialog_handler;

QWidget* OwnerWidget(TForm* owner) { return owner != nullptr ? owner->Widget() : nullptr; }

// "S19 files (*s19)|*.s19|HEX files (*hex)|*.hex" -> "S19 files (*s19) (*.s19);;..."
QString ToQtFilter(const std::string& filter) {
  const QStringList parts = ToQString(filter).split('|');
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    entries << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
  }
  return entries.join(";;");
}
}  // namespace

void SetMessageBoxHandler(MessageBoxHandler handler) { message_box_handler = std::move(handler); }

void ShowMessageBox(const TMessageBoxRequest& request) {
  if (message_box_handler) {
    message_box_handler(request);
    return;
  }
  QMessageBox box(request.error_icon ? QMessageBox::Critical : QMessageBox::NoIcon,
                  ToQString(request.caption), ToQString(request.text), QMessageBox::Ok,
                  OwnerWidget(request.owner));
  box.exec();
}

void MessageBox(TForm* owner, const std::string& text, const std::string& caption) {
  ShowMessageBox(TMessageBoxRequest{owner, text, caption, false});
}

void SetOpenDialogHandler(OpenDialogHandler handler) { open_dialog_handler = std::move(handler); }

bool TOpenDialog::Execute() {
  std::optional<std::string> chosen;
  if (open_dialog_handler) {
    chosen = open_dialog_handler(*this);
  } else {
    QFileDialog dialog(OwnerWidget(owner_), QString(), ToQString(InitialDir), ToQtFilter(Filter));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(ToQString(DefaultExt));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
      chosen = FromQString(dialog.selectedFiles().first());
    }
  }
  if (!chosen) return false;
  FileName = *chosen;
  return true;
}
