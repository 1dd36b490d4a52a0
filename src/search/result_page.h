// Reading a result page of the torrent-search website: what the worker cuts
// out of a response body. Pure routines over GBK Texts, safe on any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace luting {

// The site's markers around the total, each title and each link (GBK).
extern const std::string totalStart, totalEnd, titleStart, titleEnd, linkStart, linkEnd;

// The body cut at its first NUL and percent-decoded into GBK, within the
// body's own buffer.
std::string pageTextOfBody(std::string body);

// The result count as the page writes it (empty when the page has none).
std::string totalOfPage(std::string_view page);

// The titles and links of a page, in page order (there may be fewer links).
void extractResults(std::string_view page, std::vector<std::string>& titles,
                    std::vector<std::string>& links);

// The number a total Text stands for: full-width forms made half-width,
// leading white space skipped, an optional sign, then the digits (saturating).
int numberOfTotal(std::string_view total);

// The captions of 标签1 and 标签2.
std::string totalCaption(std::string_view total);
std::string loadedCaption(int rows);

}  // namespace luting
