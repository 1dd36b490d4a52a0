// What the program does with one response body, and a result page to do it
// on, shared by the page benchmark and its instruction count.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>
#include <vector>

#include "search/result_page.h"
#include "site-server/site_pages.h"

namespace luting::bench {

inline constexpr std::string_view pageKeyword = "流浪地球 电影";

// Page 1 of a search whose pages carry `results` results each.
inline std::string resultPageBody(int results) {
  site::PageOptions options;
  options.total = 100000;
  options.perPage = results;
  return site::buildResultPage(pageKeyword, 1, options);
}

struct PageWork {
  std::string page, total;
  int number = 0;
  std::vector<std::string> titles, links;
};

// Everything the worker does with a body before listing its rows.
inline void doPageWork(std::string_view body, PageWork& out) {
  out.page = pageTextOfBody(std::string(body));  // the worker gives its body up
  out.total = totalOfPage(out.page);
  out.number = numberOfTotal(out.total);
  extractResults(out.page, out.titles, out.links);
}

// The reference: the body's bytes through iconv from UTF-8 to CP936 and
// nothing else, into a buffer made beforehand.
struct BareConversion {
  iconv_t cd = iconv_open("CP936", "UTF-8");
  std::string out;
  explicit BareConversion(std::size_t size) : out(size + 1, '\0') {}
  ~BareConversion() { iconv_close(cd); }
  BareConversion(const BareConversion&) = delete;
  BareConversion& operator=(const BareConversion&) = delete;
  // Returns the bytes written.
  std::size_t run(std::string_view in) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    return out.size() - dstLeft;
  }
};

}  // namespace luting::bench
