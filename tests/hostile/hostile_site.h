// A broken or hostile torrent-search site: for the keyword "k" one result page
// misbehaves in one way, the other pages are ordinary (60 results in all);
// every other keyword gets 25 ordinary results.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "site-server/test_site.h"

namespace hostile {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool sanitized = true;
#else
inline constexpr bool sanitized = false;
#endif
#else
inline constexpr bool sanitized = false;
#endif

inline constexpr const char* keyword = "k";
inline constexpr int keywordTotal = 60;
inline constexpr int otherTotal = 25;

enum class Scenario {
  stallMidBody,    // half the page, then silence until released
  resetMidBody,    // half the page, then a TCP reset
  hugeBody,        // 1 GiB of 64 KiB chunks, one result in each
  expiredCert,     // redirected to a server whose certificate has expired
  untrustedCert,   // redirected to a server with a self-signed certificate
  redirectLoop,    // redirected to a path that redirects to itself
  redirectToHttp,  // redirected to plain HTTP
  manyResults,     // 10,000 results on one page
  hugeTitle,       // a title of 1 MiB
  hugeLink,        // a magnet link of 1 MiB
  hugeTotal,       // a total of 1 MiB of digits on page 1
  invalidUtf8,     // ill-formed UTF-8 in titles, head, file names, before markers
  nulBytes,        // a NUL inside the 11th title
  percentNul,      // %00 inside markers and links, %-sequences of ill-formed UTF-8
};

struct ScenarioInfo {
  const char* name;
  Scenario scenario;
  int page;  // the page that misbehaves
  int rows;  // rows a whole search for "k" lists (-1: depends on timing)
};

const std::vector<ScenarioInfo>& scenarios();

inline constexpr int manyResultsCount = 10000;
inline constexpr std::size_t hugeSize = 1u << 20;

// The link row n (from 1) of a "k" search holds when the scenario's page is
// listed whole (UTF-8).
std::string expectedLink(Scenario scenario, int n);

// Holds the bad page's answer back until opened (at most 30 s).
struct Gate {
  std::mutex mutex;
  std::condition_variable opened;
  bool closed = false;
  void pass() {
    std::unique_lock lock(mutex);
    opened.wait_for(lock, std::chrono::seconds(30), [this] { return !closed; });
  }
  void set(bool close) {
    {
      std::lock_guard lock(mutex);
      closed = close;
    }
    opened.notify_all();
  }
};

// Declared so that the site stops first.
struct HostileSite {
  Gate gate;                                      // shut: the bad page waits
  std::atomic<int> hostileReplies{0};             // times the bad page was asked for
  std::unique_ptr<luting::site::TestSite> other;  // a redirect's target, if any
  luting::site::TestSite site;                    // the site the program searches
  ~HostileSite() { gate.set(false); }
};

// Starts a site playing scenario.
std::unique_ptr<HostileSite> startHostileSite(Scenario scenario);

}  // namespace hostile
