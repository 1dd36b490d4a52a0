// Fuzz target for the text routines. The first byte picks the routine; for
// the marker routines the rest is split at 0xFF bytes (never part of a GBK
// character) into the text and the markers, for the others it is the input
// as it stands.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "text/text.h"

using namespace luting;

namespace {

std::vector<std::string_view> splitAtFF(std::string_view bytes) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t at = bytes.find('\xFF');
    parts.push_back(bytes.substr(0, at));
    if (at == std::string_view::npos) break;
    bytes.remove_prefix(at + 1);
  }
  while (parts.size() < 3) parts.emplace_back();
  return parts;
}

bool passesUnencoded(unsigned char c) {
  return c == '-' || c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
         (c >= 'a' && c <= 'z');
}

int upperHex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isAscii(std::string_view s) {
  for (const unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

// findMarker the slow way: try the marker at every character start from
// `from` on.
std::size_t findMarkerSlowly(std::string_view text, std::string_view marker, std::size_t from) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t b = from; b <= text.size(); b += (b < text.size() && p[b] >= 0x80) ? 2 : 1) {
    if (text.size() - b >= marker.size() && text.substr(b, marker.size()) == marker) return b;
  }
  return std::string_view::npos;
}

// A marker as textBetween reads it: every quote token stands for a quote.
std::string withQuotes(std::string_view marker) {
  std::string out;
  for (;;) {
    const std::size_t at = marker.find(quoteToken);
    out.append(marker.substr(0, at));
    if (at == std::string_view::npos) return out;
    out += '"';
    marker.remove_prefix(at + quoteToken.size());
  }
}

void checkGbkToUtf8(std::string_view gbk) {
  const std::string utf8 = utf8FromGbk(gbk);
  FUZZ_CHECK(fuzz::isUtf8(utf8));
  FUZZ_CHECK(!fuzz::hasNul(utf8));
  const std::string back = gbkFromUtf8(utf8);
  FUZZ_CHECK(!fuzz::hasNul(back));
  // What came out of a conversion converts back and forth unchanged.
  FUZZ_CHECK(utf8FromGbk(back) == utf8);
  if (isAscii(upToNul(gbk))) FUZZ_CHECK(utf8 == upToNul(gbk));
}

void checkUtf8ToGbk(std::string_view utf8) {
  const std::string gbk = gbkFromUtf8(utf8);
  FUZZ_CHECK(!fuzz::hasNul(gbk));
  FUZZ_CHECK(gbk.size() <= utf8.size());
  const std::string there = utf8FromGbk(gbk);
  FUZZ_CHECK(fuzz::isUtf8(there));
  FUZZ_CHECK(gbkFromUtf8(there) == gbk);
  if (isAscii(upToNul(utf8))) FUZZ_CHECK(gbk == upToNul(utf8));
}

void checkPercentEncode(std::string_view keyword) {
  const std::string encoded = percentEncode(keyword);
  const std::string utf8 = utf8FromGbk(keyword);
  // Byte-wise decoding gives the UTF-8 form back; a byte is encoded exactly
  // when it may not pass as it is, always in upper-case hex.
  std::string decoded;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    const auto c = static_cast<unsigned char>(encoded[i]);
    if (c != '%') {
      FUZZ_CHECK(passesUnencoded(c));
      decoded += static_cast<char>(c);
      continue;
    }
    FUZZ_CHECK(i + 2 < encoded.size());
    const int hi = upperHex(encoded[i + 1]);
    const int lo = upperHex(encoded[i + 2]);
    FUZZ_CHECK(hi >= 0 && lo >= 0);
    FUZZ_CHECK(!passesUnencoded(static_cast<unsigned char>(hi * 16 + lo)));
    decoded += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  FUZZ_CHECK(decoded == utf8);
  FUZZ_CHECK(percentDecode(encoded) == gbkFromUtf8(utf8));
}

void checkPercentDecode(std::string_view page) {
  const std::string text = percentDecode(page);
  FUZZ_CHECK(!fuzz::hasNul(text));
  FUZZ_CHECK(text.size() <= page.size());
  if (!fuzz::contains(page, "%")) FUZZ_CHECK(text == gbkFromUtf8(page));
}

void checkUpToNul(std::string_view bytes) {
  const std::string_view head = upToNul(bytes);
  FUZZ_CHECK(head.data() == bytes.data());
  FUZZ_CHECK(!fuzz::hasNul(head));
  FUZZ_CHECK(head.size() == bytes.size() || bytes[head.size()] == '\0');
}

void checkFindMarker(std::size_t from, std::string_view text, std::string_view marker) {
  FUZZ_CHECK(findMarker(text, marker, from) == findMarkerSlowly(text, marker, from));
  FUZZ_CHECK(findMarker(text, marker, 0) == findMarkerSlowly(text, marker, 0));
}

void checkTextBetween(std::string_view text, std::string_view start, std::string_view end) {
  const std::string between = textBetween(text, start, end);
  FUZZ_CHECK(fuzz::contains(text, between));
  if (!between.empty())
    FUZZ_CHECK(fuzz::contains(text, withQuotes(start) + between + withQuotes(end)));
}

void checkCollect(std::string_view text, std::string_view start, std::string_view end) {
  std::vector<std::string> list{"left from before"};
  const std::size_t count = collectTextsBetween(text, start, end, list);
  FUZZ_CHECK(count == list.size());
  if (start.empty()) FUZZ_CHECK(count == 0);
  std::size_t starts = 0;  // places the start marker occurs, overlapping ones too
  for (std::size_t at = text.find(start); !start.empty() && at != std::string_view::npos;
       at = text.find(start, at + 1))
    ++starts;
  FUZZ_CHECK(count <= starts);
  for (const std::string& item : list) {
    std::string framed(start);
    framed.append(item).append(end);
    FUZZ_CHECK(fuzz::contains(text, framed));
  }
  // Without quote tokens the first collected text is what textBetween finds.
  if (!start.empty() && !fuzz::contains(start, quoteToken) && !fuzz::contains(end, quoteToken))
    FUZZ_CHECK(textBetween(text, start, end) == (count ? list[0] : std::string()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 8) {
    case 0: checkGbkToUtf8(rest); break;
    case 1: checkUtf8ToGbk(rest); break;
    case 2: checkPercentEncode(rest); break;
    case 3: checkPercentDecode(rest); break;
    case 4: checkUpToNul(rest); break;
    case 5: {
      // The byte after the selector is the position to search from.
      if (rest.empty()) break;
      const auto parts = splitAtFF(rest.substr(1));
      checkFindMarker(static_cast<unsigned char>(rest[0]), parts[0], parts[1]);
      break;
    }
    case 6: {
      const auto parts = splitAtFF(rest);
      checkTextBetween(parts[0], parts[1], parts[2]);
      break;
    }
    case 7: {
      const auto parts = splitAtFF(rest);
      checkCollect(parts[0], parts[1], parts[2]);
      break;
    }
  }
  return 0;
}
