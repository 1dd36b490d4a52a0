// The process-wide search state shared by the window's handlers and the
// search worker. Fields that one thread writes while another reads are atomic.
#pragma once

#include <atomic>
#include <string>

namespace luting {

struct SearchState {
  std::atomic<int> pageNumber{0};   // result page last requested
  std::atomic<int> running{0};      // whether the paging may go on
  std::string encodedKeyword;       // percent-encoded keyword of the latest search
  std::atomic<int> rowNumber{0};    // number the next result row will carry
};

inline SearchState searchState;

}  // namespace luting
