// Code-page conversion between GBK (code page 936) and UTF-8, over iconv.
// Every character the target cannot hold, and every maximal ill-formed
// input sequence, comes out as one "?". Safe on any thread.
#pragma once

#include <string>
#include <string_view>

namespace luting {

std::string convertGbkToUtf8(std::string_view gbk);
std::string convertUtf8ToGbk(std::string_view utf8);

// The whole characters at the start of a GBK text, at most maxBytes of them.
std::string_view leadingCharacters(std::string_view gbk, std::size_t maxBytes);

}  // namespace luting
