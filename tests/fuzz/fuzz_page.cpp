// Fuzz target for reading a result page: the input is a response body. It is
// read as the worker reads it (decoded first), and also raw, as bytes that
// need not be GBK at all.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "search/result_page.h"
#include "text/text.h"

using namespace luting;

namespace {

void checkFramed(std::string_view page, const std::vector<std::string>& items,
                 const std::string& start, const std::string& end) {
  for (const std::string& item : items) FUZZ_CHECK(fuzz::contains(page, start + item + end));
}

void readPage(std::string_view page) {
  const std::string total = totalOfPage(page);
  if (!total.empty()) FUZZ_CHECK(fuzz::contains(page, totalStart + total + totalEnd));
  (void)numberOfTotal(total);
  const std::string caption = totalCaption(total);
  FUZZ_CHECK(fuzz::contains(caption, total));

  std::vector<std::string> titles{"stale title"}, links{"stale link"};
  extractResults(page, titles, links);
  checkFramed(page, titles, titleStart, titleEnd);
  checkFramed(page, links, linkStart, linkEnd);
  const int rows = static_cast<int>(titles.size());
  FUZZ_CHECK(utf8FromGbk(loadedCaption(rows)) == "加载了" + std::to_string(rows) + "项资源");
}

// numberOfTotal on numbers written out, in half- and full-width forms.
void checkNumber(int value) {
  const std::string half = std::to_string(value);
  FUZZ_CHECK(numberOfTotal(half) == value);
  std::string full = "\xA1\xA1\t";  // an ideographic space and a tab lead
  for (const char c : half) {
    full += '\xA3';
    full += static_cast<char>(static_cast<unsigned char>(c) + 0x80);
  }
  FUZZ_CHECK(numberOfTotal(full) == value);
  // Ten more digits take any number past the 32-bit range.
  FUZZ_CHECK(numberOfTotal(half + "9999999999") == (value < 0 ? INT_MIN : INT_MAX));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  const std::string page = pageTextOfBody(std::string(body));
  FUZZ_CHECK(!fuzz::hasNul(page));
  FUZZ_CHECK(page.size() <= body.size());
  readPage(page);
  readPage(upToNul(body));
  (void)numberOfTotal(body.substr(0, 32));
  if (size >= sizeof(int)) {
    int value;
    std::memcpy(&value, data, sizeof value);
    checkNumber(value);
  }
  return 0;
}
