// What the hostile tests watch on the window's thread: the largest gap
// between ticks of a 10 ms timer (how long the thread was kept from its
// events), and the peak resident memory above the resting size. And a wait
// that serves the window's events the way its message loop does.
//
// On a shared machine the thread also waits for a free CPU now and then;
// that wait (the kernel's run-queue time from schedstat) is no block of the
// program's making and is left out of the gap that is checked.
#pragma once

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <string>

namespace hostile {

// A field of /proc/self/status in KiB (VmRSS, VmHWM).
inline long statusKib(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string name;
  long value = 0;
  while (status >> name) {
    if (name == field + ":" && status >> value) return value;
    status.ignore(1 << 10, '\n');
  }
  return -1;
}

// Time the calling thread has spent on a CPU, and runnable but waiting for one.
struct SchedTimes {
  std::chrono::nanoseconds onCpu{}, waiting{};
};
inline SchedTimes schedTimes() {
  std::ifstream stat("/proc/thread-self/schedstat");
  long long onCpu = 0, waiting = 0;
  stat >> onCpu >> waiting;
  return {std::chrono::nanoseconds(onCpu), std::chrono::nanoseconds(waiting)};
}

struct Probe {
  using Clock = std::chrono::steady_clock;
  QTimer timer;
  Clock::time_point last{};
  SchedTimes lastTimes{};
  Clock::duration maxGap{};       // less the waits for a CPU
  Clock::duration maxRawGap{};    // as the clock shows it
  Clock::duration maxGapOnCpu{};  // of maxGap, the time spent on a CPU
  long restingKib = 0;

  // Takes the resting size now and starts ticking.
  void start() {
    restingKib = statusKib("VmRSS");
    std::ofstream("/proc/self/clear_refs") << "5";  // VmHWM starts again from VmRSS
    maxGap = maxRawGap = maxGapOnCpu = {};
    last = Clock::now();
    lastTimes = schedTimes();
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [this] {
      const Clock::time_point now = Clock::now();
      const SchedTimes times = schedTimes();
      maxRawGap = std::max(maxRawGap, now - last);
      const Clock::duration gap = now - last - (times.waiting - lastTimes.waiting);
      if (gap > maxGap) {
        maxGap = gap;
        maxGapOnCpu = times.onCpu - lastTimes.onCpu;
      }
      last = now;
      lastTimes = times;
    });
    timer.start();
  }
  void stop() {
    timer.stop();
    timer.disconnect();
  }

  static long ms(Clock::duration d) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
  }
  long maxGapMs() const { return ms(maxGap); }
  long maxRawGapMs() const { return ms(maxRawGap); }
  long maxGapOnCpuMs() const { return ms(maxGapOnCpu); }
  long peakAboveRestMib() const { return (statusKib("VmHWM") - restingKib) / 1024; }
};

// Runs an event loop on the calling (window's) thread until done() holds or
// timeoutMs pass; done must not block. Unlike QTest::qWaitFor it never sleeps
// between turns, so ticks and the worker's operations are served as the
// program's own loop serves them.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
  if (done()) return true;
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done()) loop.quit();
  });
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  poll.start(2);
  deadline.start(timeoutMs);
  loop.exec();
  return done();
}

}  // namespace hostile
