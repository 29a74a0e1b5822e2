// The whole load of a firmware file as the window does it, against srec_cat reading the same
// file: "&Browse..." through to the listing painted in the (offscreen) window, and the peak
// memory of doing so.
//
// Each load runs in a child process (this program with --child FILE), which shows the
// window, clicks "&Browse...", and reports the milliseconds from the click until the listing
// has been painted; its peak resident set comes from wait4. A child that shows the window and
// loads nothing gives the window's own peak, which the file's peak is also given above.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "shell/Main.h"
#include "shell/checking.h"

extern char** environ;

namespace {

constexpr int kRuns = 3;

using Clock = std::chrono::steady_clock;

// --- The child: one load in the window.

class PaintWatch : public QObject {
 public:
  explicit PaintWatch(QWidget* listing) : listing_(listing) {}
  bool armed = false;
  Clock::time_point start;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (armed && event->type() == QEvent::Paint && watched->isWidgetType() &&
        (watched == listing_ || listing_->isAncestorOf(static_cast<QWidget*>(watched)))) {
      armed = false;
      QTimer::singleShot(0, [this] {
        std::printf("%.3f\n",
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        std::fflush(stdout);
        _exit(0);
      });
    }
    return false;
  }

 private:
  QWidget* listing_;
};

int Child(const std::string& file, char** argv) {
  int qt_argc = 1;
  QApplication app(qt_argc, argv);
  SetOpenDialogHandler([file](const TOpenDialog&) -> std::optional<std::string> { return file; });
  SetMessageBoxHandler([](const TMessageBoxRequest& box) {
    std::fprintf(stderr, "box: %s: %s\n", box.caption.c_str(), box.text.c_str());
  });
  auto form = std::make_unique<TTarvikUPSForm>();
  TarvikUPSForm = form.get();
  auto checking = std::make_unique<TFormChecking>();
  FormChecking = checking.get();
  form->Show();
  QEventLoop settle;
  QTimer::singleShot(300, &settle, &QEventLoop::quit);
  settle.exec();
  if (file.empty()) {
    std::printf("0\n");
    return 0;
  }
  PaintWatch watch(form->MM_HEX->Widget());
  app.installEventFilter(&watch);
  watch.start = Clock::now();
  watch.armed = true;
  form->BUT_LOAD->Click();
  if (!form->FileLoaded) {
    std::fprintf(stderr, "the file did not load\n");
    return 1;
  }
  QTimer::singleShot(30'000, [] { _exit(3); });
  return QApplication::exec();
}

// --- The parent.

struct ChildRun {
  double ms = -1;
  double peak_mb = 0;
};

ChildRun RunChild(const char* self, const std::string& file) {
  ChildRun run;
  int out[2];
  if (pipe(out) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<char*> argv = {const_cast<char*>(self), const_cast<char*>("--child"),
                             const_cast<char*>(file.c_str()), nullptr};
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, self, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string text;
  char buffer[64];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(out[0]);
  if (rc != 0) return run;
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && !text.empty()) {
    run.ms = std::atof(text.c_str());
    run.peak_mb = static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
  }
  return run;
}

double SrecCatMs(const std::string& file) {
  double best = 1e30;
  const std::string command = "srec_cat '" + file + "' -o /dev/null -binary 2>/dev/null";
  for (int run = 0; run < kRuns; ++run) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (argc == 3 && std::string(argv[1]) == "--child") return Child(argv[2], argv);
  if (argc == 2 && std::string(argv[1]) == "--child") return Child("", argv);
  if (std::system("srec_cat -VERSion >/dev/null 2>&1") != 0) {
    std::fprintf(stderr, "upsfw_bench_load: srec_cat is not installed (Debian: srecord)\n");
    return 1;
  }
  const char* self = "/proc/self/exe";
  char path[4096];
  const ssize_t n = readlink(self, path, sizeof path - 1);
  if (n <= 0) return 1;
  path[n] = '\0';
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("upsfw_bench_load_" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);

  double empty_peak = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    const ChildRun empty = RunChild(path, "");
    if (empty.ms >= 0) empty_peak = std::min(empty_peak, empty.peak_mb);
  }
  std::printf("window without a file: peak RSS %.1f MB\n", empty_peak);
  std::printf("%-9s %8s %8s %10s %11s %7s %9s %11s %9s\n", "format", "data", "file MB", "load ms",
              "srec_cat ms", "ratio", "peak MB", "above win.", "x file");
  bool all_met = true;
  for (const unsigned kib : {64u, 1024u, 16384u}) {
    const std::string file = (folder / "fw.s19").string();
    const std::string make = "srec_cat -generate 0 " + std::to_string(kib * 1024u) +
                             " -random -o '" + file + "' " +
                             (kib > 64 ? "-address-length=3" : "-address-length=2") + " -obs=32";
    if (std::system(make.c_str()) != 0) return 1;
    const double file_mb =
        static_cast<double>(std::filesystem::file_size(file)) / (1024.0 * 1024.0);
    ChildRun best{1e30, 1e30};
    for (int run = 0; run < kRuns; ++run) {
      const ChildRun r = RunChild(path, file);
      if (r.ms < 0) {
        best.ms = -1;
        break;
      }
      best.ms = std::min(best.ms, r.ms);
      best.peak_mb = std::min(best.peak_mb, r.peak_mb);
    }
    const double srec_cat = SrecCatMs(file);
    const double ratio = best.ms / srec_cat;
    const double above = best.peak_mb - empty_peak;
    const double times_file = above / file_mb;
    // Time: within 3x srec_cat; memory: what the file adds within 4x its size (the window's
    // own fixed peak is not the file's).
    all_met = all_met && best.ms >= 0 && ratio <= 3.0 && times_file <= 4.0;
    std::printf("%-9s %5u KiB %8.2f %10.2f %11.2f %6.2fx %9.1f %8.1f MB %8.2fx\n", "S-record", kib,
                file_mb, best.ms, srec_cat, ratio, best.peak_mb, above, times_file);
  }
  std::filesystem::remove_all(folder);
  std::printf(
      "columns: load = click to listing painted (best of %d); ratio = load / srec_cat; "
      "above win. = peak RSS above the empty window; x file = that / file size\n",
      kRuns);
  std::printf("whole load %s within 3x srec_cat and 4x the file's size\n",
              all_met ? "is" : "is NOT");
  return 0;
}
