// The site server's own basics that other tests rely on: what a result page
// gives when cut up the way the program does, the result-page routes, and a
// prompt shutdown whatever the clients are doing.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/http.h"
#include "site-server/test_site.h"

namespace {

using namespace std::chrono_literals;
using namespace luting::site;

const bool proxiesCleared = [] {
  for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
    unsetenv(name);
  return true;
}();

std::string decodeAll(const std::string& s) {
  auto hex = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10
         : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
  };
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
      out += static_cast<char>(hex(s[i + 1]) * 16 + hex(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::vector<std::string> between(const std::string& page, const std::string& start, const std::string& end) {
  std::vector<std::string> found;
  for (std::size_t at = page.find(start); at != std::string::npos; at = page.find(start, at)) {
    at += start.size();
    const std::size_t stop = page.find(end, at);
    if (stop == std::string::npos) break;
    found.push_back(page.substr(at, stop - at));
    at = stop;
  }
  return found;
}

// The page as the program reads it.
struct Cut {
  std::vector<std::string> totals, titles, links;
};

Cut cut(const std::string& page) {
  const std::string d = decodeAll(page);
  return {between(d, "鹭汀种子为你找到 ", " 条关于"), between(d, "<h3><a title=\"", "\" href="),
          between(d, "磁力链接</a> <a href=\"", "\" class=")};
}

struct PageCase {
  const char* name;
  std::string keyword;
  int page;
  PageOptions options;
  long long first, last;  // the results expected on the page
  int withoutLink;        // how many of them (the last ones) lack a link
};

PageOptions opts(long long total, int perPage, int lastPage = -1, bool sentence = true, int missing = 0) {
  return PageOptions{total, perPage, lastPage, sentence, missing};
}

class ResultPage : public testing::TestWithParam<PageCase> {};

TEST_P(ResultPage, CutsIntoTheExpectedTotalTitlesAndLinks) {
  const PageCase& c = GetParam();
  const std::string page = buildResultPage(c.keyword, c.page, c.options);
  const Cut got = cut(page);

  if (c.options.totalSentence) {
    EXPECT_EQ(got.totals, std::vector<std::string>{std::to_string(c.options.total)});
  } else {
    EXPECT_TRUE(got.totals.empty());
  }
  std::vector<std::string> titles, links;
  for (long long n = c.first; n <= c.last; ++n) {
    titles.push_back(resultTitle(c.keyword, n));
    if (n <= c.last - c.withoutLink) links.push_back(resultLink(n));
  }
  EXPECT_EQ(got.titles, titles);
  EXPECT_EQ(got.links, links);
  if (c.last >= c.first) {  // a realistic size: some KB per result
    const auto perResult = page.size() / static_cast<std::size_t>(c.last - c.first + 1);
    EXPECT_GT(perResult, 3000u);
    EXPECT_LT(perResult, 8000u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Site, ResultPage,
    testing::Values(
        PageCase{"first_page", "电影", 1, opts(1000, 20), 1, 20, 0},
        PageCase{"numbered_across_pages", "电影", 3, opts(1000, 20), 41, 60, 0},
        PageCase{"short_last_page", "abc", 3, opts(45, 20), 41, 45, 0},
        PageCase{"past_the_total", "abc", 4, opts(45, 20), 1, 0, 0},
        PageCase{"past_last_page", "abc", 3, opts(1000, 20, 2), 1, 0, 0},
        PageCase{"last_page_itself", "abc", 2, opts(1000, 20, 2), 21, 40, 0},
        PageCase{"no_total_sentence", "abc", 1, opts(1000, 10, -1, false), 1, 10, 0},
        PageCase{"links_missing", "abc", 2, opts(1000, 10, -1, true, 3), 11, 20, 3},
        PageCase{"empty_keyword", "", 1, opts(7, 20), 1, 7, 0},
        PageCase{"keyword_with_markup", "a&b <c> 100%", 1, opts(3, 20), 1, 3, 0}),
    [](const testing::TestParamInfo<PageCase>& info) { return std::string(info.param.name); });

TEST(ResultPageText, TitlesAndLinksCarryChineseAndTheKeyword) {
  EXPECT_NE(resultTitle("电影", 5).find("电影"), std::string::npos);
  EXPECT_NE(resultTitle("电影", 5).find("第5部"), std::string::npos);
  const std::string link = resultLink(5);
  ASSERT_EQ(link.rfind("magnet:?xt=urn:btih:", 0), 0u);
  const std::string hash = link.substr(20, 40);
  EXPECT_EQ(hash.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hash;
  EXPECT_NE(link.find("&amp;dn=高清种子"), std::string::npos) << link;
  EXPECT_NE(resultLink(5), resultLink(6));
  // The page itself carries the name percent-encoded.
  EXPECT_NE(buildResultPage("x", 1, opts(5, 20)).find("dn=%E9%AB%98%E6%B8%85"), std::string::npos);
}

TEST(SiteRoutes, ServeResultPagesByDecodedKeywordAndPage) {
  TestSite site;
  site.setPageOptions(opts(100, 10));
  const struct { std::string target, keyword; int page; } cases[] = {
      {"/cili//time-1.html", "", 1},
      {"/cili/%E7%94%B5%E5%BD%B1/time-3.html", "电影", 3},
      {"/cili/a%20b%2Fc/time-12.html", "a b/c", 12},
  };
  std::vector<int> pages;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    EXPECT_EQ(luting::httpGet("https://" + site.host() + c.target, testCaFile()),
              buildResultPage(c.keyword, c.page, opts(100, 10)));
    pages.push_back(c.page);
  }
  EXPECT_EQ(site.requestedPages(), pages);

  site.setPageBody([](const std::string& keyword, int page) { return keyword + "#" + std::to_string(page); });
  EXPECT_EQ(luting::httpGet("https://" + site.host() + "/cili/%E7%A7%8D/time-2.html", testCaFile()), "种#2");
}

TEST(SiteShutdown, IsPromptWithHeldStalledAndNonReadingClients) {
  auto site = std::make_unique<TestSite>();
  Reply stalled;
  stalled.body = std::string(10000, 's');
  stalled.sentBytes = 100;
  stalled.stallAfterSent = true;
  site->setRoute("/stall", stalled);
  Reply big;
  big.body = std::string(1 << 20, 'b');
  big.repeat = 16;
  site->setRoute("/big", big);
  site->setRoute("/held", Reply{});
  const std::string base = "https://" + site->host();

  // A client that takes the first bytes of a big body and then stops reading.
  std::atomic<bool> letRead{false};
  auto reader = std::async(std::launch::async, [&] {
    httplib::SSLClient client("127.0.0.1", site->port());
    client.set_ca_cert_path(testCaFile().c_str());
    client.set_read_timeout(20, 0);
    client.Get("/big", [&](const char*, std::size_t) {
      while (!letRead) std::this_thread::sleep_for(10ms);
      return false;
    });
  });
  auto stall = std::async(std::launch::async, [&] {
    return luting::httpGet(base + "/stall", testCaFile(), [&] { return letRead.load(); });
  });
  ASSERT_TRUE(site->waitForRequests(2, 10s));
  site->hold();
  auto held = std::async(std::launch::async, [&] {
    return luting::httpGet(base + "/held", testCaFile(), [&] { return letRead.load(); });
  });
  ASSERT_TRUE(site->waitForRequests(3, 10s));
  std::this_thread::sleep_for(300ms);  // let the big body fill the socket buffers

  auto stopped = std::async(std::launch::async, [&] { site.reset(); });
  const bool prompt = stopped.wait_for(1s) == std::future_status::ready;
  letRead = true;
  stopped.wait();
  EXPECT_TRUE(prompt);
  reader.wait();
  stall.wait();
  held.wait();
}

}  // namespace
