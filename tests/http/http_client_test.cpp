// httpGet against TestSite: the request it sends, redirects, errors, cut and
// stalled bodies, certificates, abandoning, the body limit, cookies, threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <set>
#include <string>
#include <thread>

#include "platform/http.h"
#include "site-server/test_site.h"

namespace {

using namespace std::chrono_literals;
using luting::httpGet;
using luting::site::Reply;
using luting::site::TestSite;
using Clock = std::chrono::steady_clock;

// A proxy from the environment must not come between the tests and 127.0.0.1.
const bool proxiesCleared = [] {
  for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
    unsetenv(name);
  return true;
}();

std::string url(const TestSite& site, const std::string& target) {
  return "https://" + site.host() + target;
}

std::string get(const TestSite& site, const std::string& target,
                const std::function<bool()>& abandon = {}) {
  return httpGet(url(site, target), luting::site::testCaFile(), abandon);
}

Reply reply(int status, std::string body, std::multimap<std::string, std::string> headers = {}) {
  Reply r;
  r.status = status;
  r.body = std::move(body);
  r.headers = std::move(headers);
  return r;
}

Reply redirect(int status, const std::string& location) {
  return reply(status, "moved", {{"Location", location}});
}

// Every byte value, NULs included, in a pattern that does not repeat soon.
std::string binaryBody(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
  return s;
}

TEST(HttpGet, SendsTheFixedRequestLineAndOnlyItsHeaders) {
  TestSite site;
  site.setRoute("/path", reply(200, "ok"));
  ASSERT_EQ(get(site, "/path?q=%E7%A7%8D&p=2"), "ok");

  const auto requests = site.requests();
  ASSERT_EQ(requests.size(), 1u);
  const auto& r = requests[0];
  EXPECT_EQ(r.method, "GET");
  EXPECT_EQ(r.target, "/path?q=%E7%A7%8D&p=2");
  EXPECT_EQ(r.version, "HTTP/1.0");
  std::multiset<std::string> names;
  for (const auto& [name, value] : r.headers) names.insert(name);
  EXPECT_EQ(names, (std::multiset<std::string>{"Accept", "Host", "User-Agent"}));
  auto header = [&](const std::string& name) {
    auto it = r.headers.find(name);
    return it == r.headers.end() ? std::string("<none>") : it->second;
  };
  EXPECT_EQ(header("Host"), site.host());
  EXPECT_EQ(header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
  EXPECT_EQ(header("Accept"), "*/*");
}

TEST(HttpGet, ReturnsTheBodyWhateverTheStatus) {
  TestSite site;
  for (int status : {200, 201, 404, 500, 503}) {
    SCOPED_TRACE(status);
    const std::string body = "body of " + std::to_string(status);
    site.setRoute("/s", reply(status, body));
    EXPECT_EQ(get(site, "/s"), body);
  }
  // An unknown path: 404 with an empty body.
  EXPECT_EQ(get(site, "/nothing-here"), "");
}

TEST(HttpGet, FollowsRedirectsOfEveryKind) {
  TestSite site;
  site.setRoute("/end", reply(200, "arrived"));
  const std::string absolute = url(site, "/end");
  const struct { int status; std::string location; } cases[] = {
      {301, absolute}, {302, absolute}, {303, absolute}, {307, absolute}, {302, "/end"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.status) + " " + c.location);
    const std::size_t before = site.requests().size();
    site.setRoute("/start", redirect(c.status, c.location));
    EXPECT_EQ(get(site, "/start"), "arrived");
    const auto requests = site.requests();
    ASSERT_EQ(requests.size(), before + 2);
    EXPECT_EQ(requests.back().target, "/end");
    EXPECT_EQ(requests.back().method, "GET");
    EXPECT_EQ(requests.back().headers.count("Referer"), 0u);
  }
}

TEST(HttpGet, FollowsTenRedirectsButNotEleven) {
  TestSite site;
  // /r0 -> /r1 -> ... -> /rN, and /rN answers.
  auto chain = [&](int n) {
    const std::string stem = "/c" + std::to_string(n) + "-";
    for (int i = 0; i < n; ++i)
      site.setRoute(stem + std::to_string(i), redirect(302, stem + std::to_string(i + 1)));
    site.setRoute(stem + std::to_string(n), reply(200, "end of chain"));
    return stem + "0";
  };
  EXPECT_EQ(get(site, chain(10)), "end of chain");
  EXPECT_EQ(get(site, chain(11)), "");
}

TEST(HttpGet, RedirectLoopEnds) {
  TestSite site;
  site.setRoute("/loop", redirect(302, "/loop"));
  auto result = std::async(std::launch::async, [&] { return get(site, "/loop"); });
  ASSERT_EQ(result.wait_for(30s), std::future_status::ready);
  const std::string body = result.get();
  EXPECT_TRUE(body.empty() || body == "moved") << body;
  EXPECT_EQ(site.requests().size(), 11u);  // the first request and ten redirects
}

TEST(HttpGet, OnlySpeaksHttps) {
  TestSite secure;
  TestSite plain(0, "", "");
  plain.setRoute("/x", reply(200, "plain text"));
  secure.setRoute("/to-http", redirect(302, "http://" + plain.host() + "/x"));

  EXPECT_NE(get(secure, "/to-http"), "plain text");
  EXPECT_EQ(httpGet("http://" + plain.host() + "/x", luting::site::testCaFile()), "");
  EXPECT_EQ(secure.requests().size(), 1u);
  EXPECT_TRUE(plain.requests().empty());
}

TEST(HttpGet, ReturnsBinaryBodiesByteExact) {
  TestSite site;
  const std::string body = binaryBody(300000);
  site.setRoute("/bin", reply(200, body, {{"Content-Type", "application/octet-stream"}}));
  const std::string got = get(site, "/bin");
  ASSERT_EQ(got.size(), body.size());
  EXPECT_TRUE(got == body);
}

TEST(HttpGet, ConnectionClosedMidBodyGivesThePartRead) {
  TestSite site;
  const std::string body = binaryBody(200000);
  for (std::size_t sent : {std::size_t{0}, std::size_t{1}, std::size_t{70001}}) {
    SCOPED_TRACE(sent);
    Reply r = reply(200, body);
    r.sentBytes = sent;
    site.setRoute("/cut", r);
    const std::string got = get(site, "/cut");
    EXPECT_EQ(got.size(), sent);
    EXPECT_TRUE(got == body.substr(0, sent));
  }
}

TEST(HttpGet, BodyIsCutAtTheLimit) {
  TestSite site;
  Reply r = reply(200, binaryBody(1 << 20));
  r.repeat = 33;  // 33 MiB
  site.setRoute("/huge", r);
  const std::string got = get(site, "/huge");
  ASSERT_EQ(got.size(), luting::maxBodyBytes);
  for (std::size_t at = 0; at < got.size(); at += r.body.size()) {
    ASSERT_EQ(got.compare(at, r.body.size(), r.body), 0) << "at " << at;
  }
}

struct CertCase {
  const char* name;
  std::string cert, key, caFile;
};

class HttpGetCertificates : public testing::TestWithParam<CertCase> {};

TEST_P(HttpGetCertificates, FailingVerificationGivesEmpty) {
  const CertCase& c = GetParam();
  TestSite site(0, c.cert, c.key);
  site.setRoute("/secret", reply(200, "secret"));
  EXPECT_EQ(httpGet(url(site, "/secret"), c.caFile), "");
  EXPECT_TRUE(site.requests().empty());
}

using namespace luting::site;
INSTANTIATE_TEST_SUITE_P(
    Http, HttpGetCertificates,
    testing::Values(CertCase{"untrusted", untrustedCertFile(), untrustedKeyFile(), testCaFile()},
                    CertCase{"expired", expiredCertFile(), expiredKeyFile(), testCaFile()},
                    CertCase{"wrong_host", wrongHostCertFile(), wrongHostKeyFile(), testCaFile()},
                    // The system store does not know the test CA.
                    CertCase{"system_store", serverCertFile(), serverKeyFile(), ""}),
    [](const testing::TestParamInfo<CertCase>& info) { return std::string(info.param.name); });

TEST(HttpGet, NothingListeningGivesEmpty) {
  int port = 0;
  { TestSite gone; port = gone.port(); }
  EXPECT_EQ(httpGet("https://127.0.0.1:" + std::to_string(port) + "/", testCaFile()), "");
}

// Calls httpGet on another thread and gives the result and how long after
// `abandonAt` was first seen true it returned.
struct Abandoned {
  std::string body;
  Clock::duration afterAbandon;
};

Abandoned fetchUntil(const TestSite& site, const std::string& target,
                     const std::function<bool()>& abandonAt) {
  std::atomic<bool> seen{false};
  std::atomic<Clock::rep> seenAt{0};
  auto result = std::async(std::launch::async, [&] {
    std::string body = get(site, target, [&] {
      if (!seen && abandonAt()) {
        seenAt = Clock::now().time_since_epoch().count();
        seen = true;
      }
      return seen.load();
    });
    return Abandoned{std::move(body), Clock::now() - Clock::time_point(Clock::duration(seenAt))};
  });
  if (result.wait_for(30s) != std::future_status::ready) {
    ADD_FAILURE() << "httpGet did not return";
    std::abort();  // the future would block forever
  }
  return result.get();
}

TEST(HttpGet, AbandonedWhileTheServerStallsGivesThePartRead) {
  TestSite site;
  const std::string body = binaryBody(100000);
  Reply r = reply(200, body);
  r.sentBytes = 30000;
  r.stallAfterSent = true;
  site.setRoute("/stall", r);
  // Give the bytes sent time to arrive, then abandon.
  Clock::time_point arrived{};
  const Abandoned got = fetchUntil(site, "/stall", [&] {
    if (arrived == Clock::time_point{}) {
      if (site.requests().empty()) return false;
      arrived = Clock::now();
    }
    return Clock::now() - arrived > 500ms;
  });
  EXPECT_LT(got.afterAbandon, 1s);
  EXPECT_EQ(got.body.size(), 30000u);
  EXPECT_TRUE(got.body == body.substr(0, 30000));
  site.release();
}

TEST(HttpGet, AbandonedWhileHeldGivesEmpty) {
  TestSite site;
  site.setRoute("/held", reply(200, "too late"));
  site.hold();
  const Abandoned got = fetchUntil(site, "/held", [&] { return !site.requests().empty(); });
  EXPECT_LT(got.afterAbandon, 1s);
  EXPECT_EQ(got.body, "");
  site.release();
}

TEST(HttpGet, AbandonedBeforeStartingSendsNothing) {
  TestSite site;
  EXPECT_EQ(get(site, "/", [] { return true; }), "");
  EXPECT_TRUE(site.requests().empty());
}

TEST(HttpGet, CookiesAreSharedByEveryRequestOfTheProcess) {
  TestSite site;
  // Path-scoped, so that other tests in this process send no Cookie header.
  site.setRoute("/cookie/set", reply(200, "set", {{"Set-Cookie", "session=abc123; Path=/cookie"},
                                                  {"Set-Cookie", "lang=zh; Path=/cookie"}}));
  site.setRoute("/cookie/check", reply(200, "checked"));
  site.setRoute("/elsewhere", reply(200, "elsewhere"));
  ASSERT_EQ(get(site, "/cookie/set"), "set");
  std::thread([&] { EXPECT_EQ(get(site, "/cookie/check"), "checked"); }).join();
  EXPECT_EQ(get(site, "/elsewhere"), "elsewhere");

  const auto requests = site.requests();
  ASSERT_EQ(requests.size(), 3u);
  const auto cookie = requests[1].headers.find("Cookie");
  ASSERT_NE(cookie, requests[1].headers.end());
  EXPECT_NE(cookie->second.find("session=abc123"), std::string::npos) << cookie->second;
  EXPECT_NE(cookie->second.find("lang=zh"), std::string::npos) << cookie->second;
  EXPECT_EQ(requests[2].headers.count("Cookie"), 0u);
}

TEST(HttpGet, ThreadsFetchAtTheSameTime) {
  TestSite site;
  const std::string one = binaryBody(150000), two = std::string(120000, 'x');
  site.setRoute("/one", reply(200, one));
  site.setRoute("/two", reply(200, two));
  site.hold();
  auto first = std::async(std::launch::async, [&] { return get(site, "/one"); });
  auto second = std::async(std::launch::async, [&] { return get(site, "/two"); });
  // Both requests are in flight at once before either is answered.
  EXPECT_TRUE(site.waitForRequests(2, 10s));
  site.release();
  EXPECT_TRUE(first.get() == one);
  EXPECT_TRUE(second.get() == two);
}

}  // namespace
