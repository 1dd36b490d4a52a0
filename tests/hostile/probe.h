// What the hostile tests watch on the window's thread: the largest gap
// between ticks of a 10 ms timer (how long the thread was kept from its
// events), and the peak resident memory above the resting size. And a wait
// that serves the window's events the way its message loop does.
//
// On a shared machine a thread also waits for a free CPU now and then. The
// gap that is checked leaves out such waits of the window's thread itself,
// and of the time it slept (as when a paint waits for Qt's raster threads,
// or for a worker's operation), as much as the process's other threads spent
// waiting for a CPU meanwhile: a block of the program's making is time the
// window's thread spends working, or sleeping on work that does not wait
// for a CPU.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
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

// From the kernel's schedstat: the calling thread's time on a CPU and time
// runnable but waiting for one, and the latter summed over the process's
// other threads.
struct SchedTimes {
  std::chrono::nanoseconds onCpu{}, waiting{}, othersWaiting{};
};
inline bool readSchedstat(const char* path, long long& onCpu, long long& waiting) {
  const int fd = ::open(path, O_RDONLY);
  if (fd < 0) return false;
  char text[96];
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return false;
  text[n] = '\0';
  return std::sscanf(text, "%lld %lld", &onCpu, &waiting) == 2;
}
inline SchedTimes schedTimes() {
  SchedTimes times;
  long long onCpu = 0, waiting = 0;
  if (readSchedstat("/proc/thread-self/schedstat", onCpu, waiting))
    times = {std::chrono::nanoseconds(onCpu), std::chrono::nanoseconds(waiting), {}};
  const std::string self = std::to_string(::gettid());
  if (DIR* tasks = ::opendir("/proc/self/task")) {
    while (const dirent* task = ::readdir(tasks)) {
      if (task->d_name[0] == '.' || self == task->d_name) continue;
      const std::string path = std::string("/proc/self/task/") + task->d_name + "/schedstat";
      if (readSchedstat(path.c_str(), onCpu, waiting))
        times.othersWaiting += std::chrono::nanoseconds(waiting);
    }
    ::closedir(tasks);
  }
  return times;
}

struct Probe {
  using Clock = std::chrono::steady_clock;
  QTimer timer;
  Clock::time_point last{};
  SchedTimes lastTimes{};
  Clock::duration maxGap{};       // less the waits for a CPU (see above)
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
      const Clock::duration raw = now - last;
      const Clock::duration onCpu = times.onCpu - lastTimes.onCpu;
      const Clock::duration slept = raw - onCpu - (times.waiting - lastTimes.waiting);
      // Threads that ended meanwhile take their waits with them.
      const Clock::duration othersWaited =
          std::max<Clock::duration>(times.othersWaiting - lastTimes.othersWaiting, {});
      const Clock::duration gap = onCpu + std::max<Clock::duration>(slept - othersWaited, {});
      maxRawGap = std::max(maxRawGap, raw);
      if (gap > maxGap) {
        maxGap = gap;
        maxGapOnCpu = onCpu;
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
