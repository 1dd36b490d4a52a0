// TestSite over cpp-httplib. Every request goes through one pre-routing
// handler that records it, waits while held or delayed, and answers with a
// content provider, so that a reply can stop part-way or stall. The sockets
// of replies in progress are remembered so that the destructor can shut them
// down and never waits for a client that has stopped reading.
#include "site-server/test_site.h"

#include <httplib.h>
#include <linux/sockios.h>
#include <openssl/ssl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <mutex>
#include <regex>
#include <set>
#include <stdexcept>
#include <thread>

namespace luting::site {

namespace {

std::string certsFile(const char* name) { return std::string(LUTING_TEST_CERTS_DIR "/") + name; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percentDecode(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

constexpr std::size_t kChunk = 64 * 1024;

// Resets the connection on fd once what was sent has been acknowledged (or
// after a second). Disconnecting (connect to AF_UNSPEC) with SO_LINGER 0
// sends the RST at once; the descriptor stays httplib's to close, and its
// own shutdown and close then find nothing left to send.
void resetConnection(int fd) {
  for (int waited = 0; waited < 1000; ++waited) {
    int unacknowledged = 0;
    if (ioctl(fd, SIOCOUTQ, &unacknowledged) != 0 || unacknowledged == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const linger abortive{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  sockaddr unspecified{};
  unspecified.sa_family = AF_UNSPEC;
  ::connect(fd, &unspecified, sizeof unspecified);
}

}  // namespace

std::string testCaFile() { return certsFile("ca.pem"); }
std::string serverCertFile() { return certsFile("server.pem"); }
std::string serverKeyFile() { return certsFile("server-key.pem"); }
std::string untrustedCertFile() { return certsFile("untrusted.pem"); }
std::string untrustedKeyFile() { return certsFile("untrusted-key.pem"); }
std::string expiredCertFile() { return certsFile("expired.pem"); }
std::string expiredKeyFile() { return certsFile("expired-key.pem"); }
std::string wrongHostCertFile() { return certsFile("wronghost.pem"); }
std::string wrongHostKeyFile() { return certsFile("wronghost-key.pem"); }

struct TestSite::Impl {
  std::unique_ptr<httplib::Server> server;
  std::thread thread;
  std::atomic<bool> listenEnded{false};
  int port = 0;

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  PageOptions pageOptions;
  std::function<std::string(const std::string&, int)> pageBody;
  std::function<std::optional<Reply>(const std::string&, int)> pageReply;
  std::function<void(int)> pageSent;
  std::map<std::string, std::shared_ptr<const Reply>> routes;
  std::chrono::milliseconds delay{0};
  bool held = false;
  unsigned long releases = 0;  // counts release() calls: wakes held and stalled replies
  bool stopping = false;
  std::vector<RecordedRequest> requests;
  std::vector<int> pages;
  std::multiset<int> busySockets;

  void forget(int fd) {
    std::lock_guard lock(mutex);
    if (auto it = busySockets.find(fd); it != busySockets.end()) busySockets.erase(it);
  }
  void handle(const httplib::Request& req, httplib::Response& res);
  void send(std::shared_ptr<const Reply> reply, httplib::Response& res, int fd,
            std::function<void()> whenSent = {});
  // Waits until release() was called after `seen`, or the site stops.
  void waitForRelease(std::unique_lock<std::mutex>& lock, unsigned long seen) {
    changed.wait(lock, [&] { return stopping || releases != seen; });
  }
};

void TestSite::Impl::handle(const httplib::Request& req, httplib::Response& res) {
  const int fd = req.ssl ? SSL_get_fd(req.ssl) : -1;
  std::unique_lock lock(mutex);
  if (fd >= 0) busySockets.insert(fd);
  // Whatever happens next, the reply's end forgets the socket (before
  // httplib closes it).
  res.set_content_provider(0, "text/plain", [](std::size_t, std::size_t, httplib::DataSink&) {
    return false;
  }, [this, fd](bool) { forget(fd); });

  RecordedRequest rec{req.method, req.target, req.version, {}};
  for (const auto& [name, value] : req.headers) {
    // httplib adds these itself; they were not sent.
    if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT") continue;
    rec.headers.emplace(name, value);
  }
  requests.push_back(std::move(rec));
  static const std::regex pagePath("/cili/(.*)/time-([0-9]+)\\.html");
  const std::string path = req.target.substr(0, req.target.find('?'));
  std::smatch m;
  const bool isPage = std::regex_match(path, m, pagePath);
  if (isPage) pages.push_back(std::atoi(m[2].str().c_str()));
  changed.notify_all();

  if (held) {
    const unsigned long seen = releases;
    changed.wait(lock, [&] { return stopping || !held || releases != seen; });
  }
  if (delay.count() > 0) changed.wait_for(lock, delay, [&] { return stopping; });
  if (stopping) return;

  if (isPage) {
    const std::string keyword = percentDecode(m[1].str());
    const int page = std::atoi(m[2].str().c_str());
    auto bodyFor = pageBody;
    auto replyFor = pageReply;
    const PageOptions options = pageOptions;
    std::function<void()> whenSent;
    if (pageSent) whenSent = [hook = pageSent, page] { hook(page); };
    lock.unlock();
    if (replyFor) {
      if (std::optional<Reply> own = replyFor(keyword, page)) {
        send(std::make_shared<const Reply>(std::move(*own)), res, fd);
        return;
      }
    }
    auto reply = std::make_shared<Reply>();
    reply->body = bodyFor ? bodyFor(keyword, page) : buildResultPage(keyword, page, options);
    reply->headers.emplace("Content-Type", "text/html; charset=utf-8");
    send(std::move(reply), res, fd, std::move(whenSent));
    return;
  }
  auto it = routes.find(req.target);
  if (it == routes.end()) it = routes.find(path);
  std::shared_ptr<const Reply> reply =
      it != routes.end() ? it->second : std::make_shared<const Reply>(Reply{404, {}, {}});
  lock.unlock();
  send(std::move(reply), res, fd);
}

void TestSite::Impl::send(std::shared_ptr<const Reply> reply, httplib::Response& res, int fd,
                          std::function<void()> whenSent) {
  res.status = reply->status;
  res.headers.erase("Content-Type");  // the placeholder's
  std::string contentType = "text/plain";
  for (const auto& [name, value] : reply->headers) {
    if (sameName(name, "Content-Type")) {
      contentType = value;
    } else {
      res.headers.emplace(name, value);
    }
  }
  const std::size_t total = reply->body.size() * reply->repeat;
  const std::size_t sent = std::min(total, reply->sentBytes);
  res.set_content_provider(
      total, contentType,
      [this, reply, sent, total, whenSent, fd](std::size_t offset, std::size_t length,
                                               httplib::DataSink& sink) {
        if (offset >= sent) {
          if (reply->stallAfterSent) {
            std::unique_lock lock(mutex);
            waitForRelease(lock, releases);
          }
          if (reply->resetAfterSent && fd >= 0) resetConnection(fd);
          return false;  // drops the connection short of Content-Length
        }
        const std::string& body = reply->body;
        const std::size_t at = offset % body.size();
        const std::size_t n = std::min({length, sent - offset, body.size() - at, kChunk});
        if (!sink.write(body.data() + at, n)) return false;
        if (whenSent && offset + n == total) whenSent();
        return true;
      },
      [this, fd](bool) { forget(fd); });
}

TestSite::TestSite(int port) : TestSite(port, serverCertFile(), serverKeyFile()) {}

TestSite::TestSite(int port, const std::string& certFile, const std::string& keyFile)
    : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  if (certFile.empty()) {
    d.server = std::make_unique<httplib::Server>();
  } else {
    d.server = std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str());
  }
  if (!d.server->is_valid()) throw std::runtime_error("TestSite: cannot load " + certFile);
  // Enough workers for many held requests at once.
  d.server->new_task_queue = [] { return new httplib::ThreadPool(24); };
  // SO_REUSEADDR only: httplib's default SO_REUSEPORT would let two servers
  // share a fixed port.
  d.server->set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  // One request per connection, announced with "Connection: close": httplib
  // would otherwise offer keep-alive to HTTP/1.0 clients and then close.
  d.server->set_keep_alive_max_count(1);
  d.server->set_pre_routing_handler([&d](const httplib::Request& req, httplib::Response& res) {
    d.handle(req, res);
    return httplib::Server::HandlerResponse::Handled;
  });
  d.port = port == 0 ? d.server->bind_to_any_port("127.0.0.1")
                     : (d.server->bind_to_port("127.0.0.1", port) ? port : -1);
  if (d.port <= 0) throw std::runtime_error("TestSite: cannot listen on 127.0.0.1:" + std::to_string(port));
  d.thread = std::thread([&d] {
    d.server->listen_after_bind();
    d.listenEnded = true;
  });
  // stop() only works once the accept loop runs.
  while (!d.server->is_running() && !d.listenEnded) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TestSite::~TestSite() {
  Impl& d = *impl_;
  {
    std::lock_guard lock(d.mutex);
    d.stopping = true;
    for (int fd : d.busySockets) ::shutdown(fd, SHUT_RDWR);
  }
  d.changed.notify_all();
  d.server->stop();
  d.thread.join();
}

int TestSite::port() const { return impl_->port; }
std::string TestSite::host() const { return "127.0.0.1:" + std::to_string(impl_->port); }

void TestSite::setPageOptions(const PageOptions& options) {
  std::lock_guard lock(impl_->mutex);
  impl_->pageOptions = options;
}

void TestSite::setPageBody(std::function<std::string(const std::string&, int)> body) {
  std::lock_guard lock(impl_->mutex);
  impl_->pageBody = std::move(body);
}

void TestSite::setPageReply(
    std::function<std::optional<Reply>(const std::string&, int)> reply) {
  std::lock_guard lock(impl_->mutex);
  impl_->pageReply = std::move(reply);
}

void TestSite::setRoute(const std::string& path, const Reply& reply) {
  std::lock_guard lock(impl_->mutex);
  impl_->routes[path] = std::make_shared<const Reply>(reply);
}

void TestSite::setDelay(std::chrono::milliseconds delay) {
  std::lock_guard lock(impl_->mutex);
  impl_->delay = delay;
}

void TestSite::setPageSentHook(std::function<void(int page)> hook) {
  std::lock_guard lock(impl_->mutex);
  impl_->pageSent = std::move(hook);
}

void TestSite::hold() {
  std::lock_guard lock(impl_->mutex);
  impl_->held = true;
}

void TestSite::release() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->held = false;
    ++impl_->releases;
  }
  impl_->changed.notify_all();
}

std::vector<RecordedRequest> TestSite::requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests;
}

std::vector<int> TestSite::requestedPages() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->pages;
}

bool TestSite::waitForRequests(std::size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return impl_->requests.size() >= n; });
}

}  // namespace luting::site
