// The search worker: lists the first result page, then pages on.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace luting {

// Body of the worker thread that the start button launches.
void runSearch();

// Lists the titles and links of a decoded page; returns how many rows it added.
std::size_t processResultPage(const std::string& page);

// Goes on through the following pages until the next row number reaches the
// total, the stop button was pressed, or a page brings no results.
void pagingLoop(const std::string& total);

}  // namespace luting
