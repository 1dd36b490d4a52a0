// Helpers shared by the benchmark programs: clocks, medians, resident memory,
// child processes, and the table rows that tools/bench.sh gathers.
#pragma once

#include <spawn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace luting::bench {

// Starts args[0] with args (null-terminated) and its standard output on a
// pipe; returns the pipe's read end, or -1 when it could not start.
inline int spawnWithOutput(const char* const args[], pid_t& pid) {
  int out[2];
  if (pipe(out) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const int failed =
      posix_spawn(&pid, args[0], &actions, nullptr, const_cast<char**>(args), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (failed == 0) return out[0];
  close(out[0]);
  return -1;
}

using Clock = std::chrono::steady_clock;

inline double msBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

inline double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// VmRSS of this process in MiB (0 when unreadable).
inline double residentMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

inline std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// One row of the results table: "ROW<TAB>measure<TAB>value<TAB>reference<TAB>
// ratio<TAB>goal<TAB>met", for tools/bench.sh to pick out of the output.
inline void printRow(const std::string& measure, const std::string& value,
                     const std::string& reference, double ratio, const std::string& goal,
                     bool met) {
  std::printf("ROW\t%s\t%s\t%s\t%.2f\t%s\t%s\n", measure.c_str(), value.c_str(), reference.c_str(),
              ratio, goal.c_str(), met ? "yes" : "NO");
  std::fflush(stdout);
}

}  // namespace luting::bench
