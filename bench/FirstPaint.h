// Reports the time from the benchmark's spawn of this process to the first paint of a window.
//
// The spawning benchmark puts its CLOCK_MONOTONIC time in UPSFW_BENCH_T0_NS; once the first
// window has been painted (the event that painted it has been handled, children included),
// this prints the milliseconds since then and ends the process at once.
#pragma once

#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

namespace bench {

inline long long MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1'000'000'000LL + ts.tv_nsec;
}

class FirstPaintReporter : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!reported_ && event->type() == QEvent::Paint && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow()) {
      reported_ = true;
      QTimer::singleShot(0, [] {
        const char* t0 = std::getenv("UPSFW_BENCH_T0_NS");
        const long long start = t0 != nullptr ? std::atoll(t0) : 0;
        std::printf("%.3f\n", static_cast<double>(MonotonicNs() - start) / 1e6);
        std::fflush(stdout);
        _exit(0);
      });
    }
    return false;
  }

 private:
  bool reported_ = false;
};

// Installs the reporter on the application (call once the application object exists).
inline void ReportFirstPaint() {
  static FirstPaintReporter reporter;
  QCoreApplication::instance()->installEventFilter(&reporter);
}

}  // namespace bench
