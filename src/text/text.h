// Text routines. A Text is a std::string of GBK bytes; positions count bytes.
// All routines are pure and may run on any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace luting {

// Stands for one double quote inside a marker given to textBetween.
extern const std::string quoteToken;

std::string utf8FromGbk(std::string_view gbk);
std::string gbkFromUtf8(std::string_view utf8);
// Keyword (GBK) to its percent-encoded UTF-8 form; only - . 0-9 A-Z a-z pass.
std::string percentEncode(std::string_view keyword);
// Raw page bytes (UTF-8) with every %XY decoded, then converted to GBK.
std::string percentDecode(std::string_view page);
// The same for a page the caller gives up: decoded within the page's own
// buffer, so a large page is never held twice (percentDecode decodes a copy).
std::string percentDecodeOwned(std::string page);
// The text between the first start marker and the end marker after it.
std::string textBetween(std::string_view text, std::string_view startMarker,
                        std::string_view endMarker);
// Every text between a start marker and the next end marker; replaces list.
std::size_t collectTextsBetween(std::string_view text, std::string_view startMarker,
                                std::string_view endMarker,
                                std::vector<std::string>& list);

// Position (from 0) of the first match of marker at a character start at or
// after from, or npos. A GBK byte of 0x80 or more begins a two-byte character.
std::size_t findMarker(std::string_view text, std::string_view marker, std::size_t from);

// The bytes before the first NUL (all of them when there is none).
std::string_view upToNul(std::string_view bytes);

}  // namespace luting
