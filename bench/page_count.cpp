// One page work (or one bare conversion) with callgrind collecting only
// around it. Usage: under valgrind --tool=callgrind --collect-atstart=no,
//   bench_page_count RESULTS work|iconv
// Prints the body's size in bytes.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "page_work.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string body = luting::bench::resultPageBody(std::atoi(argv[1]));
  const bool work = std::string_view(argv[2]) == "work";
  luting::bench::PageWork out;
  luting::bench::BareConversion conversion(body.size());
  // Once before counting: the first call opens the iconv descriptors.
  luting::bench::doPageWork(body, out);
  conversion.run(body);
  luting::bench::PageWork counted;
  std::size_t written = 0;
  CALLGRIND_TOGGLE_COLLECT;
  if (work)
    luting::bench::doPageWork(body, counted);
  else
    written = conversion.run(body);
  CALLGRIND_TOGGLE_COLLECT;
  if (work ? counted.titles.size() != out.titles.size() : written == 0) return 1;
  std::printf("%zu\n", body.size());
  return 0;
}
