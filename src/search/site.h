// The torrent-search website: page addresses and fetching result pages.
#pragma once

#include <string>
#include <string_view>

namespace luting {

// The site's host (or host:port) and the CA file to trust for it (empty: the
// system store). They start as the values the program was built with; only
// tests and benchmarks point them elsewhere, before any search starts.
std::string_view siteHost();
std::string_view siteCaFile();
void setSiteForTesting(std::string host, std::string caFile);

// "https://" host "/cili/" encodedKeyword "/time-" pageNumber ".html"
std::string buildPageUrl(std::string_view host, std::string_view encodedKeyword,
                         int pageNumber);

// Fetches result page pageNumber of the current search's encoded keyword and
// returns it cut at its first NUL and decoded (empty when nothing came back).
// The request is abandoned when the calling worker is asked to stop.
std::string fetchPageText(int pageNumber);

}  // namespace luting
