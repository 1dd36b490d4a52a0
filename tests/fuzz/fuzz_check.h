// What the fuzz targets share: a property check that stops the run, and
// small helpers over byte strings.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

// Unlike assert() this also holds in release builds, where the targets run
// over their seeds as ordinary tests.
#define FUZZ_CHECK(cond)                                                         \
  do {                                                                           \
    if (!(cond)) {                                                               \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, \
                   #cond);                                                       \
      std::abort();                                                              \
    }                                                                            \
  } while (0)

namespace fuzz {

inline bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

inline bool hasNul(std::string_view bytes) { return contains(bytes, std::string_view("\0", 1)); }

// Well-formed UTF-8 as RFC 3629 has it: no overlong forms, no surrogates,
// nothing past U+10FFFF.
inline bool isUtf8(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char b = p[i];
    std::size_t len;
    unsigned lo = 0x80, hi = 0xBF;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (i + len > n || p[i + 1] < lo || p[i + 1] > hi) return false;
    for (std::size_t k = 2; k < len; ++k)
      if (p[i + k] < 0x80 || p[i + k] > 0xBF) return false;
    i += len;
  }
  return true;
}

}  // namespace fuzz
