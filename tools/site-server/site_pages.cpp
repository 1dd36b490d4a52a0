// Result pages built the way the site writes them: a head, a nav, the total
// sentence, one block per result and a pager. Everything is a pure function
// of (keyword, page, options), so tests can predict every title and link.
#include "site-server/site_pages.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

namespace luting::site {
namespace {

const char* const kQualities[] = {"1080p", "720p", "4K"};
const char* const kKinds[] = {"视频", "合集", "剧集"};

std::uint64_t mix(std::uint64_t x) {  // splitmix64
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

std::string hashOf(long long n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex;
  std::uint64_t state = static_cast<std::uint64_t>(n);
  while (hex.size() < 40) {
    state = mix(state);
    for (int i = 0; i < 16 && hex.size() < 40; ++i) hex += digits[(state >> (4 * i)) & 15];
  }
  return hex;
}

// Percent-encodes every byte but the unreserved ones, as the site's links do.
std::string encode(std::string_view s) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
        c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += digits[c >> 4];
      out += digits[c & 15];
    }
  }
  return out;
}

// The keyword as page text: HTML-escaped, and '%' written as %25 so that
// decoding the page gives the keyword's own characters back.
std::string escapeText(std::string_view s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '%': out += "%25"; break;
      default: out += c;
    }
  }
  return out;
}

// The title with '%' kept literally: the form after decoding.
std::string titleText(std::string_view keywordEscaped, long long n) {
  std::string title(keywordEscaped);
  if (!title.empty()) title += ' ';
  title += "第" + std::to_string(n) + "部 高清种子 " + kQualities[n % 3];
  return title;
}

std::string decodedEscape(std::string_view keyword) {
  std::string out = escapeText(keyword);
  std::string::size_type at = 0;
  while ((at = out.find("%25", at)) != std::string::npos) out.replace(at, 3, "%"), ++at;
  return out;
}

std::string magnetName(long long n) {
  return "高清种子第" + std::to_string(n) + "部." + kQualities[n % 3];
}

std::string sizeText(std::uint64_t r) {
  const std::uint64_t mb = 50 + r % 8000;
  if (mb < 1024) return std::to_string(mb) + ".0 MB";
  return std::to_string(mb / 1024) + "." + std::to_string(mb % 1024 * 100 / 1024 / 10) + " GB";
}

std::string dateText(std::uint64_t r) {
  const int year = 2015 + static_cast<int>(r % 9), month = 1 + static_cast<int>(r / 9 % 12),
            day = 1 + static_cast<int>(r / 108 % 28);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
  return buf;
}

void appendHead(std::string& page, const std::string& keyText, const std::string& keyUrl, int p) {
  page +=
      "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<meta name=\"keywords\" content=\"" + keyText + ",磁力链接,种子搜索,BT下载\">\n"
      "<title>" + keyText + " 磁力链接 第" + std::to_string(p) + "页 - 鹭汀种子</title>\n"
      "<link rel=\"stylesheet\" href=\"/static/css/main.css?v=20230715\">\n"
      "<link rel=\"canonical\" href=\"/cili/" + keyUrl + "/time-" + std::to_string(p) + ".html\">\n"
      "<style>.search-item{margin:12px 0;border-bottom:1px solid #eee}"
      ".item-bar span{margin-right:14px;color:#666}.cpill{padding:0 6px;border-radius:3px}"
      ".yellow-pill{background:#f9e79f}.blue-pill{background:#aed6f1}</style>\n"
      "<script src=\"/static/js/jquery.min.js\"></script>\n</head>\n<body>\n"
      "<div class=\"header\">\n<div class=\"logo\"><a href=\"/\">鹭汀种子</a></div>\n"
      "<form class=\"search-form\" action=\"/search\" method=\"get\">"
      "<input type=\"text\" name=\"keyword\" value=\"" + keyText + "\" class=\"search-input\">"
      "<button type=\"submit\">搜索</button></form>\n</div>\n"
      "<div class=\"nav\"><ul>\n"
      "<li><a href=\"/\">首页</a></li>\n"
      "<li><a href=\"/cili/%E7%94%B5%E5%BD%B1/time-1.html\">电影</a></li>\n"
      "<li><a href=\"/cili/%E5%89%A7%E9%9B%86/time-1.html\">剧集</a></li>\n"
      "<li><a href=\"/cili/%E5%8A%A8%E6%BC%AB/time-1.html\">动漫</a></li>\n"
      "<li><a href=\"/cili/%E9%9F%B3%E4%B9%90/time-1.html\">音乐</a></li>\n"
      "<li><a href=\"/top?sort=hot&amp;day=7\">热门</a></li>\n"
      "</ul></div>\n<div class=\"main\">\n";
}

void appendResult(std::string& page, const std::string& keyText, const std::string& keyUrl,
                  long long n, int p, bool withLink) {
  const std::string hash = hashOf(n);
  const std::string title = titleText(keyText, n);
  const std::uint64_t r = mix(static_cast<std::uint64_t>(n) * 7919u);
  const int files = 12 + static_cast<int>(r % 5);
  page += "<div class=\"search-item\">\n<div class=\"item-title\">\n<h3><a title=\"" + title +
          "\" href=\"/hash/" + hash + ".html\" target=\"_blank\">" + title + "</a></h3>\n</div>\n"
          "<div class=\"item-list\">\n<ul>\n";
  for (int f = 1; f <= files; ++f) {
    const std::uint64_t fr = mix(r + static_cast<std::uint64_t>(f));
    char part[8];
    std::snprintf(part, sizeof part, "%02d", f);
    page += "<li><span class=\"file-icon icon-video\"></span><span class=\"file-name\">" + keyText +
            ".第" + std::to_string(n) + "部.E" + part + "." + kQualities[(n + f) % 3] +
            ".WEB-DL.H264.AAC.mkv</span> <span class=\"file-size cpill blue-pill\">" +
            sizeText(fr) + "</span></li>\n";
  }
  page += "</ul>\n</div>\n<div class=\"item-desc\">资源简介：" + keyText + " 第" + std::to_string(n) +
          "部，高清画质，内封简繁中文字幕，含花絮与导演评论音轨。本资源来自网络公开分享，"
          "请在下载后二十四小时内删除。</div>\n<div class=\"item-tags\">"
          "<a href=\"/tag/%E9%AB%98%E6%B8%85\" class=\"tag\">高清</a> "
          "<a href=\"/tag/%E4%B8%AD%E6%96%87%E5%AD%97%E5%B9%95\" class=\"tag\">中文字幕</a> "
          "<a href=\"/tag/%E5%90%88%E9%9B%86\" class=\"tag\">合集</a> "
          "<a href=\"/tag/" + std::string(kQualities[n % 3]) + "\" class=\"tag\">" + kQualities[n % 3] +
          "</a></div>\n<div class=\"item-bar\">\n<span class=\"cpill fileType1\">" +
          std::string(kKinds[r % 3]) + "</span>\n<span>创建时间：<b>" + dateText(r) +
          "</b></span>\n<span>文件大小：<b class=\"cpill yellow-pill\">" + sizeText(r >> 8) +
          "</b></span>\n<span>文件数：<b>" + std::to_string(files) +
          "</b></span>\n<span>热度：<b>" + std::to_string(r % 9000 + 10) +
          "</b></span>\n<span>最近下载：<b>" + dateText(r >> 16) + "</b></span>\n";
  if (withLink) {
    page += "<a href=\"/hash/" + hash + ".html\">磁力链接</a> <a href=\"magnet:?xt=urn:btih:" +
            hash + "&amp;dn=" + encode(magnetName(n)) +
            "&amp;tr=udp%3A%2F%2Ftracker.example%3A6969%2Fannounce\" class=\"download\">下载</a>\n";
  } else {
    page += "<span class=\"dead-link\">链接已失效</span>\n";
  }
  page += "<a href=\"/report?hash=" + hash + "&amp;from=%2Fcili%2F" + encode(keyUrl) + "%2Ftime-" +
          std::to_string(p) + ".html\" class=\"report\" rel=\"nofollow\">举报</a>\n</div>\n</div>\n";
}

void appendPager(std::string& page, const std::string& keyUrl, int p, long long pages) {
  auto link = [&](long long to, const std::string& label) {
    page += "<a href=\"/cili/" + keyUrl + "/time-" + std::to_string(to) + ".html\">" + label + "</a>\n";
  };
  page += "<div class=\"pager\">\n";
  if (p > 1) link(1, "首页"), link(p - 1, "上一页");
  for (long long i = std::max(1LL, p - 4LL); i <= std::min(pages, p + 4LL); ++i) {
    if (i == p) page += "<span class=\"current\">" + std::to_string(i) + "</span>\n";
    else link(i, std::to_string(i));
  }
  if (p < pages) link(p + 1, "下一页"), link(pages, "尾页");
  page += "</div>\n";
}

}  // namespace

std::string resultTitle(std::string_view keywordUtf8, long long n) {
  return titleText(decodedEscape(keywordUtf8), n);
}

std::string resultLink(long long n) {
  return "magnet:?xt=urn:btih:" + hashOf(n) + "&amp;dn=" + magnetName(n) +
         "&amp;tr=udp://tracker.example:6969/announce";
}

std::string buildResultPage(std::string_view keywordUtf8, int page, const PageOptions& options) {
  const std::string keyText = escapeText(keywordUtf8), keyUrl = encode(keywordUtf8);
  const int perPage = std::max(options.perPage, 0);
  long long first = 1, last = 0;  // the results on this page
  if (page >= 1 && (options.lastPage < 0 || page <= options.lastPage)) {
    first = static_cast<long long>(page - 1) * perPage + 1;
    last = std::min(static_cast<long long>(page) * perPage, options.total);
  }
  const long long pages = perPage > 0 ? (std::max(options.total, 0LL) + perPage - 1) / perPage : 0;

  std::string out;
  out.reserve(static_cast<std::size_t>(std::max(0LL, last - first + 1)) * 5000 + 4000);
  appendHead(out, keyText, keyUrl, page);
  if (options.totalSentence) {
    out += "<div class=\"search-statu\">鹭汀种子为你找到 " + std::to_string(options.total) +
           " 条关于 \"" + keyText + "\" 的磁力链接</div>\n";
  }
  out += "<div class=\"search-list\">\n";
  if (last < first) out += "<div class=\"no-result\">没有找到相关的磁力链接</div>\n";
  for (long long n = first; n <= last; ++n) {
    appendResult(out, keyText, keyUrl, n, page, n <= last - options.linksMissing);
  }
  out += "</div>\n";
  appendPager(out, keyUrl, page, pages);
  out +=
      "</div>\n<div class=\"footer\">\n<p>鹭汀种子 不存储任何种子文件，仅收录公开的磁力链接。</p>\n"
      "<p><a href=\"/about\">关于</a> | <a href=\"/dmca?lang=zh%2DCN\">版权投诉</a> | "
      "<a href=\"/contact\">联系我们</a></p>\n</div>\n</body>\n</html>\n";
  return out;
}

}  // namespace luting::site
