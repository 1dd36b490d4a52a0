// The text routines against hand-checked byte strings.
#include "text/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::string_literals;
using namespace luting;

namespace {

struct Case {
  const char* name;
  std::string in;
  std::string out;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// GBK bytes of some characters used below.
const std::string gbkZhong = "\xD6\xD0";  // 中
const std::string gbkWen = "\xCE\xC4";    // 文
const std::string utf8Zhong = "\xE4\xB8\xAD";
const std::string utf8Wen = "\xE6\x96\x87";

class GbkFromUtf8 : public testing::TestWithParam<Case> {};
TEST_P(GbkFromUtf8, Converts) { EXPECT_EQ(gbkFromUtf8(GetParam().in), GetParam().out); }
INSTANTIATE_TEST_SUITE_P(
    Table, GbkFromUtf8,
    testing::Values(
        Case{"empty", "", ""}, Case{"ascii", "abc <h3>", "abc <h3>"},
        Case{"chinese", utf8Zhong + utf8Wen, gbkZhong + gbkWen},
        Case{"euro_is_byte_80", "\xE2\x82\xAC", "\x80"},
        Case{"ends_at_nul", "ab\0cd"s, "ab"},
        Case{"outside_gbk_emoji", "a\xF0\x9F\x98\x80" "b", "a?b"},
        Case{"outside_gbk_thaana", "\xDE\xB0", "?"},
        Case{"lone_continuation", "a\x80" "b", "a?b"},
        Case{"truncated_at_end_is_one", "a\xE4\xB8", "a?"},
        Case{"truncated_before_ascii", "\xE4\xB8" "A", "?A"},
        Case{"overlong_each_byte", "\xC0\xAF", "??"},
        Case{"surrogate_each_byte", "\xED\xA0\x80", "???"},
        Case{"above_max_code_point", "\xF4\x90\x80\x80", "????"},
        Case{"bad_byte_ff", "\xFF" + utf8Zhong, "?" + gbkZhong}),
    [](const auto& info) { return std::string(info.param.name); });

class Utf8FromGbk : public testing::TestWithParam<Case> {};
TEST_P(Utf8FromGbk, Converts) { EXPECT_EQ(utf8FromGbk(GetParam().in), GetParam().out); }
INSTANTIATE_TEST_SUITE_P(
    Table, Utf8FromGbk,
    testing::Values(Case{"empty", "", ""}, Case{"ascii", "a-b", "a-b"},
                    Case{"chinese", gbkZhong + gbkWen, utf8Zhong + utf8Wen},
                    Case{"euro", "\x80", "\xE2\x82\xAC"},
                    Case{"ends_at_nul", gbkZhong + "\0"s + gbkWen, utf8Zhong},
                    Case{"lone_lead_at_end", "a\xD6", "a?"},
                    Case{"lead_with_bad_trail", "\xD6" "0", "?0"},
                    Case{"byte_ff", "\xFF" "a", "?a"}),
    [](const auto& info) { return std::string(info.param.name); });

class PercentEncode : public testing::TestWithParam<Case> {};
TEST_P(PercentEncode, Encodes) { EXPECT_EQ(percentEncode(GetParam().in), GetParam().out); }
INSTANTIATE_TEST_SUITE_P(
    Table, PercentEncode,
    testing::Values(Case{"empty", "", ""}, Case{"unreserved_pass", "A-z.9", "A-z.9"},
                    Case{"space", "a b", "a%20b"}, Case{"slash", "/", "%2F"},
                    Case{"others_encoded", "_~+%", "%5F%7E%2B%25"},
                    Case{"low_byte_two_digits", "\x01", "%01"},
                    Case{"chinese_three_groups", gbkZhong, "%E4%B8%AD"},
                    Case{"euro", "\x80", "%E2%82%AC"}),
    [](const auto& info) { return std::string(info.param.name); });

class PercentDecode : public testing::TestWithParam<Case> {};
TEST_P(PercentDecode, Decodes) { EXPECT_EQ(percentDecode(GetParam().in), GetParam().out); }
INSTANTIATE_TEST_SUITE_P(
    Table, PercentDecode,
    testing::Values(Case{"empty", "", ""}, Case{"plain", "a+b", "a+b"},
                    Case{"upper_digits", "%41%2f", "A/"},
                    Case{"lower_digits_chinese", "%e4%b8%ad", gbkZhong},
                    Case{"raw_utf8_converted", utf8Wen, gbkWen},
                    Case{"trailing_percent_dropped", "abc%", "abc"},
                    Case{"one_digit_at_end", "%4", "@"},
                    Case{"decodes_to_nul_dropped", "a%00b", "ab"},
                    Case{"zz_is_byte_DE", "%zz%B0", "?"},
                    Case{"bad_low_digit", "%2G", "\x1E"},
                    Case{"bad_high_digit", "%G0x", "?x"},
                    Case{"not_decoded_twice", "%2541", "%41"},
                    Case{"invalid_result_is_question_mark", "%FF", "?"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FindMarker, MatchesOnlyAtCharacterStarts) {
  // 0x41 "A" is also a valid trail byte: in "\xD6\x41A" only the last "A"
  // begins a character.
  EXPECT_EQ(findMarker("\xD6" "AA", "A", 0), 2u);
  EXPECT_EQ(findMarker("\xD6" "A", "A", 0), std::string_view::npos);
  // Boundaries count from the start position.
  EXPECT_EQ(findMarker("x\xD6" "A", "A", 2), 2u);
  EXPECT_EQ(findMarker(gbkZhong + "\"" + gbkWen, "\"", 0), 2u);
}

TEST(TextBetween, Cases) {
  const std::string q = quoteToken;
  struct {
    const char* name;
    std::string text, start, end, want;
  } cases[] = {
      {"basic", "<b>total 12 items</b>", "total ", " items", "12"},
      {"first_of_several", "[a][b]", "[", "]", "a"},
      {"no_start", "abc", "x", "c", ""},
      {"no_end", "abc", "a", "x", ""},
      {"adjacent", "ab", "a", "b", ""},
      {"end_searched_after_start", "]x[y]", "[", "]", "y"},
      {"quote_token_both", "say \"hi\" now", q, q, "hi"},
      {"quote_token_inside", "<a title=\"T1\" href=", "title=" + q, q + " href=", "T1"},
      {"start_on_trail_byte_skipped", "\xD6" "A1A2B", "A", "B", "2"},
      {"end_on_trail_byte_skipped", "[\xD6]x]", "[", "]", "\xD6]x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(textBetween(c.text, c.start, c.end), c.want) << c.name;
  }
}

TEST(CollectTextsBetween, Cases) {
  using List = std::vector<std::string>;
  struct {
    const char* name;
    std::string text, start, end;
    List want;
  } cases[] = {
      {"several", "<a>1</a><a>22</a>", "<a>", "</a>", {"1", "22"}},
      {"none", "nothing here", "<a>", "</a>", {}},
      {"empty_texts", "<><>", "<", ">", {"", ""}},
      {"last_without_end_dropped", "<1><2><3", "<", ">", {"1", "2"}},
      {"overlapping_starts", "<a<b>", "<", ">", {"a<b", "b"}},
      {"quote_token_not_replaced", "#\xD2\xFD\xBA\xC5x\"", quoteToken, "\"", {"x"}},
      {"gbk_boundaries", "\xD6<x<y>", "<", ">", {"y"}},
      {"empty_start_marker", "abc", "", "c", {}},
  };
  for (const auto& c : cases) {
    List list = {"stale"};
    EXPECT_EQ(collectTextsBetween(c.text, c.start, c.end, list), c.want.size()) << c.name;
    EXPECT_EQ(list, c.want) << c.name;
  }
}

}  // namespace
