#include "search/worker.h"

#include <climits>

#include "app/search_state.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "search/site.h"
#include "text/text.h"

namespace luting {
namespace {

// The site's markers and the label texts, in GBK.
const std::string totalStart = gbkFromUtf8("鹭汀种子为你找到 ");
const std::string totalEnd = gbkFromUtf8(" 条关于");
const std::string titleStart = gbkFromUtf8("<h3><a title=\"");
const std::string titleEnd = gbkFromUtf8("\" href=");
const std::string linkStart = gbkFromUtf8("磁力链接</a> <a href=\"");
const std::string linkEnd = gbkFromUtf8("\" class=");
const std::string totalCaptionBefore = gbkFromUtf8("共搜索到了");
const std::string totalCaptionAfter = gbkFromUtf8("项种子资源");
const std::string loadedCaptionBefore = gbkFromUtf8("加载了");
const std::string loadedCaptionAfter = gbkFromUtf8("项资源");

constexpr std::string_view resultList = "超级列表框1";

void extractResults(const std::string& page, std::vector<std::string>& titles,
                    std::vector<std::string>& links) {
  collectTextsBetween(page, titleStart, titleEnd, titles);
  collectTextsBetween(page, linkStart, linkEnd, links);
}

// One row per title, paired with the link of the same order; a title without
// a link gets an empty cell.
std::size_t addResultRows(const std::vector<std::string>& titles,
                          const std::vector<std::string>& links) {
  std::size_t added = 0;
  for (std::size_t k = 0; k < titles.size() && !stopRequested(); ++k) {
    const int row = appendRow(resultList);
    if (row < 0) break;  // the window is gone
    setCellText(resultList, row, 0, std::to_string(searchState.rowNumber));
    setCellText(resultList, row, 1, titles[k]);
    setCellText(resultList, row, 2, k < links.size() ? std::string_view(links[k]) : "");
    ++searchState.rowNumber;
    setLabelCaption("标签2",
                    loadedCaptionBefore + std::to_string(searchState.rowNumber - 1) +
                        loadedCaptionAfter);
    ++added;
  }
  return added;
}

// GBK full-width forms of the ASCII characters (A3A1..A3FE, but for the
// yuan sign at A3A4) and the ideographic space (A1A1) made half-width.
std::string halfWidth(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80 || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const auto trail = static_cast<unsigned char>(text[i + 1]);
    if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE && trail != 0xA4) {
      out += static_cast<char>(trail - 0x80);
    } else if (lead == 0xA1 && trail == 0xA1) {
      out += ' ';
    } else {
      out.append(text.substr(i, 2));
    }
    ++i;
  }
  return out;
}

}  // namespace

int numberOfTotal(std::string_view total) {
  const std::string text = halfWidth(total);
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT_MAX) {
      value = static_cast<long long>(INT_MAX) + 1;  // saturates below
      if (!negative) value = INT_MAX;
    }
  }
  return static_cast<int>(negative ? -value : value);
}

std::size_t processResultPage(const std::string& page) {
  std::vector<std::string> titles, links;
  extractResults(page, titles, links);
  return addResultRows(titles, links);
}

void pagingLoop(const std::string& total) {
  for (;;) {
    if (searchState.rowNumber >= numberOfTotal(total)) return;
    ++searchState.pageNumber;
    const std::string page = fetchPageText(searchState.pageNumber);
    // A replaced search, or one whose window closes, lists nothing more.
    if (stopRequested()) return;
    // A page without results ends the paging: the site has run out before
    // its total, and asking on would repeat requests for ever.
    if (processResultPage(page) == 0) return;
    if (searchState.running == 0) return;
  }
}

void runSearch() {
  // A search that replaces one still paging waits until that one has ended,
  // so the two never share the search state.
  waitForEarlierThreads();
  if (stopRequested()) return;

  const std::string keyword = editText("编辑框1");
  searchState.encodedKeyword = percentEncode(keyword);
  // Every search begins at page 1: carrying the last search's page number
  // over would skip the first pages of the new keyword.
  searchState.pageNumber = 1;
  const std::string page = fetchPageText(searchState.pageNumber);
  if (stopRequested()) return;
  const std::string total = textBetween(page, totalStart, totalEnd);
  setLabelCaption("标签1", totalCaptionBefore + total + totalCaptionAfter);
  std::vector<std::string> titles, links;
  extractResults(page, titles, links);
  searchState.rowNumber = 1;
  addResultRows(titles, links);
  setButtonEnabled("按钮1", true);
  pagingLoop(total);
}

}  // namespace luting
