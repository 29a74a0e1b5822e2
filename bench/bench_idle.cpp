// The idle window: the CPU that Timer1's tick takes with no run, and the time from start to
// the first painted window against a minimal Qt program.
//
// CPU: the window (offscreen) runs its event loop for 5 s with Timer1 ticking every 10 ms;
// the figure is the process's user + system time (getrusage) over that span as a share of one
// core. Start-up: the window program and the minimal program (one QWidget shown) are started
// alternately, several times each; each reports the time from its spawn to its first paint
// (FirstPaint.h), and the figure is the median of each and their ratio.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "FirstPaint.h"
#include "shell/Main.h"
#include "shell/checking.h"

extern char** environ;

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Milliseconds from spawn to first paint as the child reports it; negative on failure.
double FirstPaint(const std::string& program) {
  int out[2];
  if (pipe(out) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  setenv("UPSFW_BENCH_T0_NS", std::to_string(bench::MonotonicNs()).c_str(), 1);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string text;
  char buffer[64];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(out[0]);
  if (rc != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return text.empty() ? -1 : std::atof(text.c_str());
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? -1 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  double seconds = 5.0;
  int starts = 9;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--seconds") seconds = std::atof(argv[i + 1]);
    if (arg == "--starts") starts = std::atoi(argv[i + 1]);
  }
  bool all_met = true;
  {
    int qt_argc = 1;
    QApplication app(qt_argc, argv);
    auto form = std::make_unique<TTarvikUPSForm>();
    TarvikUPSForm = form.get();
    auto checking = std::make_unique<TFormChecking>();
    FormChecking = checking.get();
    form->Show();
    long ticks = 0;
    form->Timer1->OnTimer = [&](TObject* sender) {
      ++ticks;
      form->Timer1Timer(sender);
    };
    // Let the window settle (first paint, layout) before measuring.
    QEventLoop settle;
    QTimer::singleShot(500, &settle, &QEventLoop::quit);
    settle.exec();
    ticks = 0;
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    loop.exec();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    const double share = 100.0 * cpu / wall;
    all_met = all_met && share < 1.0;
    std::printf(
        "idle window: %ld ticks in %.2f s (%.1f a second), CPU %.1f ms = %.3f%% of a core "
        "(target < 1%%)\n",
        ticks, wall, static_cast<double>(ticks) / wall, cpu * 1e3, share);
    TCloseAction action = TCloseAction::caHide;
    form->FormClose(form.get(), action);
    FormChecking = nullptr;
    TarvikUPSForm = nullptr;
  }

  std::vector<double> window, minimal;
  for (int i = 0; i < starts; ++i) {
    window.push_back(FirstPaint(UPSFW_BENCH_WINDOW_PATH));
    minimal.push_back(FirstPaint(UPSFW_BENCH_MINIMAL_PATH));
  }
  const double w = Median(window), m = Median(minimal);
  const double ratio = w / m;
  all_met = all_met && w > 0 && m > 0 && ratio <= 1.5;
  std::printf(
      "start to first paint (median of %d): window %.1f ms, minimal Qt program %.1f ms, "
      "ratio %.2fx (target <= 1.5x)\n",
      starts, w, m, ratio);
  std::printf("idle window %s its targets\n", all_met ? "meets" : "does NOT meet");
  return 0;
}
