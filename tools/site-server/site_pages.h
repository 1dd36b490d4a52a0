// Result pages in the torrent-search website's format (UTF-8 HTML), for the
// demo site, the tests and the benchmarks.
#pragma once

#include <string>
#include <string_view>

namespace luting::site {

struct PageOptions {
  long long total = 1000;          // the count the total sentence reports
  int perPage = 20;                // results on a full page
  int lastPage = -1;               // pages after it carry no results (-1: none empty)
  bool totalSentence = true;       // false: the page has no total sentence
  int linksMissing = 0;            // the last N results of a page have no magnet anchor
};

// Page `page` (from 1) for keywordUtf8 (already percent-decoded). Results are
// numbered across pages; a page past the total carries fewer or none.
std::string buildResultPage(std::string_view keywordUtf8, int page, const PageOptions& options);

// What the program should list for result number n (from 1) of a keyword:
// the title and magnet link as they stand in the page after decoding (UTF-8).
// The page HTML-escapes the keyword (&amp; &lt; &gt; &quot; stay escaped in
// the title) and writes '%' as %25.
std::string resultTitle(std::string_view keywordUtf8, long long n);
std::string resultLink(long long n);

}  // namespace luting::site
