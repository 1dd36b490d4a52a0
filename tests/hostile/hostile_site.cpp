#include "hostile/hostile_site.h"

#include <optional>

namespace hostile {
namespace {

using luting::site::buildResultPage;
using luting::site::Reply;
using luting::site::TestSite;

std::string ordinaryPage(const std::string& kw, int page) {
  return buildResultPage(kw, page, {.total = kw == keyword ? keywordTotal : otherTotal});
}

const std::string titleMarker = "<h3><a title=\"";
const std::string linkMarker = "磁力链接</a> <a href=\"";

// One result in the fewest bytes the program still reads as a result.
std::string compactResult(const std::string& title, const std::string& link) {
  return "<div class=\"search-item\"><h3><a title=\"" + title + "\" href=\"/hash/x.html\">" +
         title + "</a></h3><div class=\"item-bar\"><a href=\"/hash/x.html\">" + linkMarker + link +
         "\" class=\"download\">下载</a></div></div>\n";
}

std::string totalSentence(const std::string& total) {
  return "<div class=\"search-statu\">鹭汀种子为你找到 " + total +
         " 条关于 \"k\" 的磁力链接</div>\n";
}

std::string manyLink(int i) { return "magnet:?xt=urn:btih:MANY" + std::to_string(i); }
const std::string hugeBodyLink = "magnet:?xt=urn:btih:HUGEBODY";

std::string hugeText(const std::string& unit) {
  std::string s;
  while (s.size() < hugeSize) s += unit;
  return s;
}
const std::string& hugeTitleText() {
  static const std::string s = hugeText("巨长的标题 ");
  return s;
}
const std::string& hugeLinkText() {
  static const std::string s = "magnet:?xt=urn:btih:" + hugeText("ABCDEF0123456789");
  return s;
}

// Replaces, in the n-th (from 1) text that follows marker, the text up to the
// next quote.
void replaceValue(std::string& page, const std::string& marker, int n, const std::string& value) {
  std::size_t at = 0;
  for (int i = 0; i < n; ++i) at = page.find(marker, at) + marker.size();
  page.replace(at, page.find('"', at) - at, value);
}

void replaceAll(std::string& s, const std::string& from, const std::string& to) {
  for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
}

Reply htmlReply(std::string body) {
  Reply r;
  r.body = std::move(body);
  r.headers.emplace("Content-Type", "text/html; charset=utf-8");
  return r;
}

Reply redirect(const std::string& location) {
  Reply r;
  r.status = 302;
  r.body = "moved";
  r.headers.emplace("Location", location);
  return r;
}

std::string manyResultsPage() {
  std::string page = "<html><body>" + totalSentence(std::to_string(keywordTotal));
  for (int i = 1; i <= manyResultsCount; ++i)
    page += compactResult("k 第" + std::to_string(i) + "条", manyLink(i));
  return page + "</body></html>\n";
}

// Exactly 64 KiB, so that the client's 32 MiB cut falls between chunks.
std::string hugeBodyChunk() {
  std::string chunk = totalSentence("60") + compactResult("巨页里的结果", hugeBodyLink);
  const std::string filler = "<p>填充 filler</p>\n";
  while (chunk.size() + filler.size() <= 64 * 1024) chunk += filler;
  chunk.append(64 * 1024 - chunk.size(), ' ');
  return chunk;
}

// Ill-formed UTF-8: lone and stray bytes, an overlong form, a surrogate, a
// code point past U+10FFFF and sequences cut short.
const std::string badBytes = "\xFF\xFE\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\xE6\xB5\x80\xC3";

Reply hostileReply(Scenario scenario, HostileSite& h, int page) {
  switch (scenario) {
    case Scenario::stallMidBody:
    case Scenario::resetMidBody: {
      Reply r = htmlReply(ordinaryPage(keyword, page));
      r.sentBytes = r.body.size() / 2;
      r.stallAfterSent = scenario == Scenario::stallMidBody;
      r.resetAfterSent = scenario == Scenario::resetMidBody;
      return r;
    }
    case Scenario::hugeBody: {
      Reply r = htmlReply(hugeBodyChunk());
      r.repeat = (std::size_t{1} << 30) / r.body.size();
      return r;
    }
    case Scenario::expiredCert:
    case Scenario::untrustedCert:
    case Scenario::redirectToHttp:
      return redirect((scenario == Scenario::redirectToHttp ? "http://" : "https://") +
                      h.other->host() + "/cili/k/time-" + std::to_string(page) + ".html");
    case Scenario::redirectLoop:
      return redirect("/loop");
    case Scenario::manyResults:
      return htmlReply(manyResultsPage());
    case Scenario::hugeTitle:
    case Scenario::hugeLink: {
      std::string body = ordinaryPage(keyword, page);
      if (scenario == Scenario::hugeTitle)
        replaceValue(body, titleMarker, 1, hugeTitleText());
      else
        replaceValue(body, linkMarker, 1, hugeLinkText());
      return htmlReply(std::move(body));
    }
    case Scenario::hugeTotal: {
      std::string body = ordinaryPage(keyword, page);
      replaceAll(body, "找到 60 条", "找到 " + hugeText("9876543210") + " 条");
      return htmlReply(std::move(body));
    }
    case Scenario::invalidUtf8: {
      std::string body =
          buildResultPage("k" + badBytes + "坏" + badBytes, page, {.total = keywordTotal});
      replaceAll(body, titleMarker, badBytes + titleMarker);
      replaceAll(body, linkMarker, badBytes + linkMarker);
      replaceAll(body, "<div", badBytes + "<div");
      return htmlReply(std::move(body));
    }
    case Scenario::nulBytes: {
      std::string body = ordinaryPage(keyword, page);
      std::size_t at = 0;
      for (int i = 0; i < 11; ++i) at = body.find(titleMarker, at) + titleMarker.size();
      body.insert(at + 2, 1, '\0');
      return htmlReply(std::move(body));
    }
    case Scenario::percentNul: {
      std::string body = ordinaryPage(keyword, page);
      replaceAll(body, titleMarker, "<h3><a ti%00tle=\"%FF%C0%AF%ED%A0%80%E6%B5%zzx");
      replaceAll(body, "magnet:?xt=urn:btih:", "magnet:%00?xt=urn:btih:%00");
      replaceAll(body, "\" class=\"download", "\"%00 class=\"download");
      return htmlReply(std::move(body));
    }
  }
  return htmlReply({});
}

}  // namespace

const std::vector<ScenarioInfo>& scenarios() {
  static const std::vector<ScenarioInfo> all = {
      {"stall mid-body", Scenario::stallMidBody, 2, -1},
      {"reset mid-body", Scenario::resetMidBody, 2, -1},
      {"1 GiB body", Scenario::hugeBody, 2, 20 + 512},
      {"expired certificate", Scenario::expiredCert, 2, 20},
      {"untrusted certificate", Scenario::untrustedCert, 2, 20},
      {"redirect loop", Scenario::redirectLoop, 2, 20},
      {"redirect to http", Scenario::redirectToHttp, 2, 20},
      {"10000 results", Scenario::manyResults, 2, 20 + manyResultsCount},
      {"1 MiB title", Scenario::hugeTitle, 2, 60},
      {"1 MiB link", Scenario::hugeLink, 2, 60},
      {"1 MiB total", Scenario::hugeTotal, 1, 60},
      {"invalid UTF-8", Scenario::invalidUtf8, 2, 60},
      {"NUL bytes", Scenario::nulBytes, 2, 50},
      {"percent NUL and bad bytes", Scenario::percentNul, 2, 60},
  };
  return all;
}

std::string expectedLink(Scenario scenario, int n) {
  using luting::site::resultLink;
  if (n <= 20) return resultLink(n);
  switch (scenario) {
    case Scenario::hugeBody:
      return hugeBodyLink;
    case Scenario::manyResults:
      return manyLink(n - 20);
    case Scenario::hugeLink:
      return n == 21 ? hugeLinkText() : resultLink(n);
    case Scenario::nulBytes:
      return resultLink(n <= 30 ? n : n + 10);
    default:
      return resultLink(n);
  }
}

std::unique_ptr<HostileSite> startHostileSite(Scenario scenario) {
  auto h = std::make_unique<HostileSite>();
  int hostilePage = 2;
  for (const ScenarioInfo& info : scenarios())
    if (info.scenario == scenario) hostilePage = info.page;
  if (scenario == Scenario::expiredCert) {
    h->other = std::make_unique<TestSite>(0, luting::site::expiredCertFile(),
                                          luting::site::expiredKeyFile());
  } else if (scenario == Scenario::untrustedCert) {
    h->other = std::make_unique<TestSite>(0, luting::site::untrustedCertFile(),
                                          luting::site::untrustedKeyFile());
  } else if (scenario == Scenario::redirectToHttp) {
    h->other = std::make_unique<TestSite>(0, "", "");
  }
  if (h->other) h->other->setPageBody(ordinaryPage);
  if (scenario == Scenario::redirectLoop) h->site.setRoute("/loop", redirect("/loop"));
  h->site.setPageBody(ordinaryPage);
  HostileSite* raw = h.get();
  h->site.setPageReply(
      [raw, scenario, hostilePage](const std::string& kw, int page) -> std::optional<Reply> {
        if (kw != keyword || page != hostilePage) return std::nullopt;
        ++raw->hostileReplies;
        raw->gate.pass();
        return hostileReply(scenario, *raw, page);
      });
  return h;
}

}  // namespace hostile
