// Start-up: spawns the program's start-up driver and the empty-QWidget
// reference in turns on the offscreen platform and prints the medians.
// Usage: bench_startup WINDOW_DRIVER EMPTY_DRIVER
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "report.h"

namespace {

using namespace luting::bench;

struct Start {
  double shownMs = -1, restMiB = -1;
};

Start runOnce(const char* program) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const std::string spawnNs = std::to_string(now.tv_sec * 1000000000LL + now.tv_nsec);
  setenv("LUTING_BENCH_SPAWN_NS", spawnNs.c_str(), 1);
  pid_t pid;
  const char* args[] = {program, nullptr};
  const int out = spawnWithOutput(args, pid);
  if (out < 0) return {};
  std::string text;
  char buffer[256];
  for (ssize_t n; (n = read(out, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(out);
  int status = 0;
  waitpid(pid, &status, 0);
  Start start;
  if (std::sscanf(text.c_str(), "SHOWN %lf RSS %lf", &start.shownMs, &start.restMiB) != 2)
    return {};
  return start;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  constexpr int rounds = 9;
  std::vector<double> windowMs, emptyMs, windowMiB, emptyMiB;
  runOnce(argv[1]);  // unmeasured: fills the page cache
  runOnce(argv[2]);
  for (int round = 0; round < rounds; ++round) {
    for (int turn = 0; turn < 2; ++turn) {
      const bool window = (turn == 0) == (round % 2 == 0);
      const Start start = runOnce(window ? argv[1] : argv[2]);
      if (start.shownMs < 0) return 1;
      (window ? windowMs : emptyMs).push_back(start.shownMs);
      (window ? windowMiB : emptyMiB).push_back(start.restMiB);
    }
  }
  const double shown = median(windowMs), empty = median(emptyMs);
  printRow("start-up to window shown, offscreen (ms)", fixed(shown, 1),
           fixed(empty, 1) + " empty QWidget", shown / empty, "<= 300 ms", shown <= 300);
  const double mib = median(windowMiB), emptyMib = median(emptyMiB);
  printRow("resident memory at rest (MiB)", fixed(mib, 1), fixed(emptyMib, 1) + " empty QWidget",
           mib / emptyMib, "<= 60 MiB", mib <= 60);
  return 0;
}
