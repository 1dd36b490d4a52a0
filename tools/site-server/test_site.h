// An HTTPS server on 127.0.0.1 that plays the torrent-search website, for the
// tests, the demo site and the benchmarks. It records every request.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "site-server/site_pages.h"

namespace luting::site {

// Committed test certificates: a CA and a server certificate for 127.0.0.1.
std::string testCaFile();
std::string serverCertFile();
std::string serverKeyFile();
// Certificates that must not verify: self-signed, expired (signed by the test
// CA), and signed by the test CA for another host name.
std::string untrustedCertFile();
std::string untrustedKeyFile();
std::string expiredCertFile();
std::string expiredKeyFile();
std::string wrongHostCertFile();
std::string wrongHostKeyFile();

struct RecordedRequest {
  std::string method, target, version;            // the request line's parts
  std::multimap<std::string, std::string> headers; // names as sent
};

struct Reply {
  int status = 200;
  std::string body;
  std::multimap<std::string, std::string> headers;
  std::size_t repeat = 1;  // the body is sent this many times in a row (huge bodies)
  // Only this many body bytes are sent (Content-Length stays the whole size);
  // then the connection is closed, or, with stallAfterSent, kept open silently
  // until release() or the destructor.
  std::size_t sentBytes = static_cast<std::size_t>(-1);
  bool stallAfterSent = false;
  // After the sentBytes (and any stall) the connection is reset (RST) rather
  // than closed: the client first gets what was sent, then ECONNRESET. TLS
  // sites only; a plain HTTP site closes as usual.
  bool resetAfterSent = false;
};

class TestSite {
 public:
  // Starts serving on 127.0.0.1 on port (0: an ephemeral one).
  explicit TestSite(int port = 0);
  // The same with another certificate and key; an empty certFile serves plain
  // HTTP (for redirect targets; there a client that stops reading can delay
  // the destructor by httplib's 5 s write timeout). Throws std::runtime_error
  // when the files or the port are unusable.
  TestSite(int port, const std::string& certFile, const std::string& keyFile);
  ~TestSite();  // releases held requests and stops
  TestSite(const TestSite&) = delete;
  TestSite& operator=(const TestSite&) = delete;

  int port() const;
  std::string host() const;  // "127.0.0.1:<port>"

  // /cili/<keyword>/time-<n>.html serves buildResultPage with these options.
  void setPageOptions(const PageOptions& options);
  // Overrides the result pages: the body for (keyword as decoded UTF-8, page).
  void setPageBody(std::function<std::string(const std::string& keyword, int page)> body);
  // Overrides single result pages with a whole reply (a status, redirects, a
  // huge, cut, stalled or reset body); the pages it gives no reply for are
  // served as before. Runs on the server's thread, so it may block.
  void setPageReply(
      std::function<std::optional<Reply>(const std::string& keyword, int page)> reply);
  // Any other path: the reply for it (404 with an empty body when unset).
  void setRoute(const std::string& path, const Reply& reply);
  // Waits this long before answering each request.
  void setDelay(std::chrono::milliseconds delay);
  // Called on a server thread once the last byte of a result page's body has
  // been written to its connection (for timing what a client does next).
  void setPageSentHook(std::function<void(int page)> hook);

  // While held, requests wait unanswered until release() or the destructor.
  void hold();
  void release();

  std::vector<RecordedRequest> requests() const;
  // The page numbers of the result-page requests so far, in order.
  std::vector<int> requestedPages() const;
  // Waits until at least n requests have arrived; false on timeout.
  bool waitForRequests(std::size_t n, std::chrono::milliseconds timeout) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace luting::site
