// Detached workers over std::thread, each with its own stop source, kept in
// one process-wide registry so they can be stopped and waited for.
#include "platform/thread.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace luting {
namespace {

struct LiveWorker {
  std::uint64_t sequence;
  std::stop_source stop;
};

struct Registry {
  std::mutex mutex;
  std::condition_variable_any changed;
  std::vector<LiveWorker> live;  // in start order, so by rising sequence
  std::uint64_t nextSequence = 1;
};

// Never destroyed: a detached worker still ending while the process exits
// must find it intact.
Registry& registry() {
  static Registry* const instance = new Registry;
  return *instance;
}

std::atomic<bool> startFails{false};

thread_local std::stop_token currentToken;     // never stops outside workers
thread_local std::uint64_t currentSequence = 0;  // 0 outside workers

void removeWorker(std::uint64_t sequence) {
  Registry& r = registry();
  {
    std::lock_guard lock(r.mutex);
    for (auto it = r.live.begin(); it != r.live.end(); ++it) {
      if (it->sequence == sequence) {
        r.live.erase(it);
        break;
      }
    }
  }
  r.changed.notify_all();
}

}  // namespace

bool startDetachedThread(void (*body)()) {
  if (body == nullptr || startFails.load()) return false;
  Registry& r = registry();
  std::uint64_t sequence;
  std::stop_token token;
  {
    std::lock_guard lock(r.mutex);
    sequence = r.nextSequence++;
    std::stop_source stop;
    token = stop.get_token();
    r.live.push_back({sequence, std::move(stop)});
  }
  try {
    std::thread([body, sequence, token] {
      currentToken = token;
      currentSequence = sequence;
      try {
        body();
      } catch (...) {
        // A body's failure ends only that worker.
      }
      currentToken = {};
      currentSequence = 0;
      removeWorker(sequence);
    }).detach();
  } catch (const std::system_error&) {
    removeWorker(sequence);
    return false;
  }
  return true;
}

void stopAllThreads() {
  // Requests run the waiters' stop callbacks; make them outside the lock.
  std::vector<std::stop_source> sources;
  {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    sources.reserve(r.live.size());
    for (const LiveWorker& w : r.live) sources.push_back(w.stop);
  }
  for (std::stop_source& s : sources) s.request_stop();
}

std::stop_token currentStopToken() { return currentToken; }

bool stopRequested() { return currentToken.stop_requested(); }

void waitForEarlierThreads() {
  const std::uint64_t mine = currentSequence;
  if (mine == 0) return;
  Registry& r = registry();
  std::unique_lock lock(r.mutex);
  r.changed.wait(lock, currentToken, [&r, mine] {
    return r.live.empty() || r.live.front().sequence >= mine;
  });
}

bool waitForAllThreads(std::chrono::milliseconds timeout) {
  Registry& r = registry();
  std::unique_lock lock(r.mutex);
  return r.changed.wait_for(lock, timeout, [&r] { return r.live.empty(); });
}

void setThreadStartFailsForTesting(bool fails) { startFails.store(fails); }

}  // namespace luting
