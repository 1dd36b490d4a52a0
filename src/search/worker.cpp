#include "search/worker.h"

#include "app/search_state.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "search/result_page.h"
#include "search/site.h"
#include "text/text.h"

namespace luting {
namespace {

constexpr std::string_view resultList = "超级列表框1";

// One row per title, paired with the link of the same order; a title without
// a link gets an empty cell.
std::size_t addResultRows(const std::vector<std::string>& titles,
                          const std::vector<std::string>& links) {
  std::size_t added = 0;
  for (std::size_t k = 0; k < titles.size() && !stopRequested(); ++k) {
    // The row shows up complete: a click on it copies its link at once.
    const int row = appendFilledRow(resultList, std::to_string(searchState.rowNumber), titles[k],
                                    k < links.size() ? std::string_view(links[k]) : "");
    if (row < 0) break;  // the window is gone
    ++searchState.rowNumber;
    setLabelCaption("标签2", loadedCaption(searchState.rowNumber - 1));
    ++added;
  }
  return added;
}

}  // namespace

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
  const std::string total = totalOfPage(page);
  setLabelCaption("标签1", totalCaption(total));
  std::vector<std::string> titles, links;
  extractResults(page, titles, links);
  searchState.rowNumber = 1;
  addResultRows(titles, links);
  setButtonEnabled("按钮1", true);
  pagingLoop(total);
}

}  // namespace luting
