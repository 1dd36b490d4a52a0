// Reading result pages: the total's number, the body's decoding, and the
// markers against pages in the site's format.
#include "search/result_page.h"

#include <gtest/gtest.h>

#include <climits>

#include "site-server/site_pages.h"
#include "text/text.h"

using namespace std::string_literals;
using luting::gbkFromUtf8;

namespace {

TEST(NumberOfTotal, Table) {
  const struct {
    std::string total;  // UTF-8, converted to GBK below
    int number;
  } cases[] = {
      {"", 0},
      {"1000", 1000},
      {"1,234", 1},
      {"约500", 0},
      {"  \t42 items", 42},
      {"+7", 7},
      {"-3", -3},
      {"- 3", 0},
      {"１２３", 123},           // full-width digits
      {"　４５", 45},            // ideographic space, then full-width digits
      {"－８", -8},              // full-width minus
      {"１,０００", 1},
      {"abc", 0},
      {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},
      {"99999999999999999999", INT_MAX},
      {"-2147483648", INT_MIN},
      {"-99999999999999999999", INT_MIN},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(luting::numberOfTotal(gbkFromUtf8(c.total)), c.number) << c.total;
  }
}

TEST(PageTextOfBody, CutsAtNulThenDecodes) {
  EXPECT_EQ(luting::pageTextOfBody("a%41\xE4\xB8\xAD\0%42"s), "aA\xD6\xD0");
  EXPECT_EQ(luting::pageTextOfBody(""), "");
}

TEST(ResultPage, ReadsThePagesOfTheSite) {
  const std::string page = luting::pageTextOfBody(
      luting::site::buildResultPage("关键 词", 2, {.total = 45, .linksMissing = 1}));
  EXPECT_EQ(luting::totalOfPage(page), "45");
  EXPECT_EQ(luting::totalCaption(luting::totalOfPage(page)), gbkFromUtf8("共搜索到了45项种子资源"));
  std::vector<std::string> titles, links;
  luting::extractResults(page, titles, links);
  ASSERT_EQ(titles.size(), 20u);
  ASSERT_EQ(links.size(), 19u);
  for (int k = 0; k < 20; ++k) {
    EXPECT_EQ(titles[k], gbkFromUtf8(luting::site::resultTitle("关键 词", 21 + k)));
    if (k < 19) {
      EXPECT_EQ(links[k], gbkFromUtf8(luting::site::resultLink(21 + k)));
    }
  }
}

TEST(ResultPage, PageWithoutMarkersGivesNothing) {
  std::vector<std::string> titles = {"x"}, links = {"y"};
  luting::extractResults(gbkFromUtf8("<html>服务器错误</html>"), titles, links);
  EXPECT_TRUE(titles.empty() && links.empty());
  EXPECT_EQ(luting::totalOfPage("no total"), "");
  EXPECT_EQ(luting::totalCaption(""), gbkFromUtf8("共搜索到了项种子资源"));
  EXPECT_EQ(luting::loadedCaption(1), gbkFromUtf8("加载了1项资源"));
}

}  // namespace
