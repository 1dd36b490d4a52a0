// httpGet over libcurl. A share handle (set up once) holds the process's
// cookies, DNS cache and TLS sessions; each request runs its own easy handle
// in its own multi handle, polled in short steps so that abandoning takes
// effect quickly even while the server sends nothing.
#include "platform/http.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>

namespace luting {
namespace {

struct EasyFree { void operator()(CURL* h) const { curl_easy_cleanup(h); } };
struct MultiFree { void operator()(CURLM* h) const { curl_multi_cleanup(h); } };
struct ListFree { void operator()(curl_slist* l) const { curl_slist_free_all(l); } };
using Easy = std::unique_ptr<CURL, EasyFree>;
using Multi = std::unique_ptr<CURLM, MultiFree>;
using HeaderList = std::unique_ptr<curl_slist, ListFree>;

// Takes the easy handle out of the multi handle before either is freed.
struct Attached {
  CURLM* multi;
  CURL* easy;
  bool ok;
  Attached(CURLM* m, CURL* e) : multi(m), easy(e), ok(curl_multi_add_handle(m, e) == CURLM_OK) {}
  ~Attached() { if (ok) curl_multi_remove_handle(multi, easy); }
  Attached(const Attached&) = delete;
  Attached& operator=(const Attached&) = delete;
};

constexpr long kConnectTimeoutSeconds = 30;
constexpr long kSilentSeconds = 60;  // a transfer receiving nothing this long ends
constexpr int kPollMs = 50;          // bounds how late an abandon is seen
constexpr long kMaxRedirects = 10;
constexpr std::size_t kGrowInStepsBytes = 4u << 20;

std::once_flag setUpOnce;
// Never freed: requests may still run on other threads while the process ends.
CURLSH* share = nullptr;
std::array<std::mutex, CURL_LOCK_DATA_LAST> shareLocks;

void lockShare(CURL*, curl_lock_data data, curl_lock_access, void*) { shareLocks[data].lock(); }
void unlockShare(CURL*, curl_lock_data data, void*) { shareLocks[data].unlock(); }

void setUp() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  CURLSH* s = curl_share_init();
  if (!s) return;  // requests then run without shared cookies
  curl_share_setopt(s, CURLSHOPT_LOCKFUNC, lockShare);
  curl_share_setopt(s, CURLSHOPT_UNLOCKFUNC, unlockShare);
  curl_share_setopt(s, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
  curl_share_setopt(s, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
  curl_share_setopt(s, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  share = s;
}

// Keeps what arrives up to maxBodyBytes; taking less than offered makes curl
// stop the transfer.
std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) noexcept {
  auto* body = static_cast<std::string*>(user);
  const std::size_t offered = size * count;
  const std::size_t taken = std::min(offered, maxBodyBytes - std::min(maxBodyBytes, body->size()));
  try {
    // Past a few MiB, room for the largest body at once: growing step by step
    // to 32 MiB leaves the smaller buffers behind in the heap once malloc's
    // mmap threshold has risen. Reserved pages never written take no memory.
    if (body->size() + taken > std::max(body->capacity(), kGrowInStepsBytes))
      body->reserve(maxBodyBytes);
    body->append(data, taken);
  } catch (...) {
    return 0;
  }
  return taken;
}

void fetch(const std::string& url, const std::string& caFile,
           const std::function<bool()>& abandon, std::string& body) {
  Easy easy(curl_easy_init());
  Multi multi(curl_multi_init());
  HeaderList headers(curl_slist_append(nullptr, "Accept: */*"));
  if (!easy || !multi || !headers) return;
  CURL* h = easy.get();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  curl_easy_setopt(h, CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!caFile.empty()) {
    curl_easy_setopt(h, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(h, CURLOPT_CAPATH, static_cast<char*>(nullptr));
  }
  if (share) curl_easy_setopt(h, CURLOPT_SHARE, share);
  curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");  // cookie engine on, nothing loaded
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kSilentSeconds);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);

  Attached attached(multi.get(), h);
  if (!attached.ok) return;
  for (;;) {
    if (abandon && abandon()) return;
    int running = 0;
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK || running == 0) return;
    if (curl_multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr) != CURLM_OK) return;
  }
}

}  // namespace

std::string httpGet(const std::string& url, const std::string& caFile,
                    const std::function<bool()>& abandon) {
  std::string body;
  try {
    std::call_once(setUpOnce, setUp);
    fetch(url, caFile, abandon, body);
  } catch (...) {
    // Out of memory or a throwing predicate: keep what was read.
  }
  return body;
}

}  // namespace luting
