// Reports, from inside a program being started, when its first window was
// exposed (ms after the launcher's spawn time, passed in
// LUTING_BENCH_SPAWN_NS on CLOCK_MONOTONIC) and its resident memory once at
// rest: one line "SHOWN <ms> RSS <MiB>" on stdout. Then closes all windows.
#pragma once

#include <time.h>

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <cstdlib>

#include "report.h"

namespace luting::bench {

inline double msSinceSpawn() {
  const char* spawn = std::getenv("LUTING_BENCH_SPAWN_NS");
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const long long ns = now.tv_sec * 1000000000LL + now.tv_nsec;
  return spawn ? (ns - std::atoll(spawn)) / 1e6 : -1;
}

class ExposeProbe final : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!seen_ && event->type() == QEvent::Expose && qobject_cast<QWindow*>(watched)) {
      seen_ = true;
      const double shownMs = msSinceSpawn();
      // At rest: after the first paint and a short idle spell.
      QTimer::singleShot(500, [shownMs] {
        std::printf("SHOWN %.2f RSS %.2f\n", shownMs, residentMiB());
        std::fflush(stdout);
        QApplication::closeAllWindows();
      });
    }
    return false;
  }

 private:
  bool seen_ = false;
};

}  // namespace luting::bench
