#include "text/text.h"

#include <cstring>

#include "platform/codepage.h"
#include "platform/window.h"

namespace luting {

// "#引号" in GBK.
const std::string quoteToken = "#\xD2\xFD\xBA\xC5";

namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";

// Value of a percent digit: its index in hexDigits after upper-casing,
// -2 when it is not a hex digit.
int digitValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -2;
}

bool passesUnencoded(unsigned char c) {
  return c == '-' || c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
         (c >= 'a' && c <= 'z');
}

std::string replaceQuoteToken(std::string_view marker) {
  std::string out(marker);
  for (std::size_t at = out.find(quoteToken); at != std::string::npos;
       at = out.find(quoteToken, at + 1)) {
    out.replace(at, quoteToken.size(), "\"");
  }
  return out;
}

}  // namespace

std::string_view upToNul(std::string_view bytes) {
  return bytes.substr(0, std::min(bytes.find('\0'), bytes.size()));
}

std::string utf8FromGbk(std::string_view gbk) { return convertGbkToUtf8(upToNul(gbk)); }

std::string gbkFromUtf8(std::string_view utf8) { return convertUtf8ToGbk(upToNul(utf8)); }

std::string percentEncode(std::string_view keyword) {
  std::string out;
  if (keyword.empty()) return out;
  const std::string utf8 = utf8FromGbk(keyword);
  out.reserve(utf8.size() * 3);
  for (const unsigned char c : utf8) {
    if (passesUnencoded(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hexDigits[c >> 4];
      out += hexDigits[c & 0xF];
    }
  }
  return out;
}

std::string percentDecode(std::string_view page) {
  return percentDecodeOwned(std::string(page));
}

std::string percentDecodeOwned(std::string page) {
  // Each %XY shrinks to at most one byte, so the decoded bytes are written
  // back over the page behind the reading position.
  char* const out = page.data();
  const std::size_t n = page.size();
  std::size_t written = 0;
  std::size_t i = 0;
  while (i < n) {
    // The run up to the next "%" in one go.
    const void* hit = std::memchr(out + i, '%', n - i);
    const std::size_t pct = hit ? static_cast<const char*>(hit) - out : n;
    if (written != i) std::memmove(out + written, out + i, pct - i);
    written += pct - i;
    if (pct == n) break;
    // A digit past the end counts 0; one that is no hex digit counts -2.
    const int hi = pct + 1 < n ? digitValue(out[pct + 1]) : 0;
    const int lo = pct + 2 < n ? digitValue(out[pct + 2]) : 0;
    const char v = static_cast<char>((hi * 16 + lo) & 0xFF);
    if (v != 0) out[written++] = v;
    i = pct + 3;
  }
  page.resize(written);
  return gbkFromUtf8(page);
}

std::size_t findMarker(std::string_view text, std::string_view marker, std::size_t from) {
  if (marker.empty()) return from <= text.size() ? from : std::string_view::npos;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t boundary = from;  // the start of a character
  while (boundary < text.size()) {
    const void* found =
        memmem(text.data() + boundary, text.size() - boundary, marker.data(), marker.size());
    if (found == nullptr) return std::string_view::npos;
    const std::size_t hit = static_cast<const char*>(found) - text.data();
    // A hit counts only where a character begins, not on the second byte of
    // a double-byte one. A byte below 0x80 always ends a character, so one
    // begins right after it; from there the bytes of 0x80 or more pair up,
    // and the hit begins a character when an even number of them precede it.
    std::size_t run = hit;
    while (run > boundary && p[run - 1] >= 0x80) --run;
    if ((hit - run) % 2 == 0) return hit;
    boundary = hit + 1;  // the hit was a second byte: the next character starts after it
  }
  return std::string_view::npos;
}

std::string textBetween(std::string_view text, std::string_view startMarker,
                        std::string_view endMarker) {
  const std::string start = replaceQuoteToken(startMarker);
  const std::string end = replaceQuoteToken(endMarker);
  const std::size_t at = findMarker(text, start, 0);
  if (at == std::string_view::npos) return {};
  const std::size_t p = at + start.size();
  const std::size_t stop = findMarker(text, end, p);
  if (stop == std::string_view::npos) return {};
  return std::string(text.substr(p, stop - p));
}

std::size_t collectTextsBetween(std::string_view text, std::string_view startMarker,
                                std::string_view endMarker, std::vector<std::string>& list) {
  list.clear();
  // An empty start marker would match at the same place for ever.
  if (startMarker.empty()) return 0;
  std::size_t s = 0;
  for (;;) {
    const std::size_t at = findMarker(text, startMarker, s);
    if (at == std::string_view::npos) break;
    const std::size_t p = at + startMarker.size();
    s = p;  // the next start marker is looked for right after this one
    const std::size_t stop = findMarker(text, endMarker, p);
    if (stop == std::string_view::npos) break;
    list.emplace_back(text.substr(p, stop - p));
    for (int turn = 0; turn < 3; ++turn) processPendingMessages();
  }
  return list.size();
}

}  // namespace luting
