#include "search/result_page.h"

#include <climits>

#include "text/text.h"

namespace luting {

const std::string totalStart = gbkFromUtf8("鹭汀种子为你找到 ");
const std::string totalEnd = gbkFromUtf8(" 条关于");
const std::string titleStart = gbkFromUtf8("<h3><a title=\"");
const std::string titleEnd = gbkFromUtf8("\" href=");
const std::string linkStart = gbkFromUtf8("磁力链接</a> <a href=\"");
const std::string linkEnd = gbkFromUtf8("\" class=");

namespace {

// The label texts, in GBK.
const std::string totalCaptionBefore = gbkFromUtf8("共搜索到了");
const std::string totalCaptionAfter = gbkFromUtf8("项种子资源");
const std::string loadedCaptionBefore = gbkFromUtf8("加载了");
const std::string loadedCaptionAfter = gbkFromUtf8("项资源");

// GBK full-width forms of the ASCII characters (A3A1..A3FE, but for the
// yuan sign at A3A4) and the ideographic space (A1A1) made half-width.
std::string halfWidth(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80 || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const auto trail = static_cast<unsigned char>(text[i + 1]);
    if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE && trail != 0xA4) {
      out += static_cast<char>(trail - 0x80);
    } else if (lead == 0xA1 && trail == 0xA1) {
      out += ' ';
    } else {
      out.append(text.substr(i, 2));
    }
    ++i;
  }
  return out;
}

}  // namespace

std::string pageTextOfBody(std::string body) {
  body.resize(upToNul(body).size());
  return percentDecodeOwned(std::move(body));
}

std::string totalOfPage(std::string_view page) {
  return textBetween(page, totalStart, totalEnd);
}

void extractResults(std::string_view page, std::vector<std::string>& titles,
                    std::vector<std::string>& links) {
  collectTextsBetween(page, titleStart, titleEnd, titles);
  collectTextsBetween(page, linkStart, linkEnd, links);
}

int numberOfTotal(std::string_view total) {
  const std::string text = halfWidth(total);
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Past the 32-bit range the number sticks at its limit.
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min(value * 10 + (text[i] - '0'), limit);
  }
  return static_cast<int>(negative ? -value : value);
}

std::string totalCaption(std::string_view total) {
  std::string caption = totalCaptionBefore;
  caption.append(total).append(totalCaptionAfter);
  return caption;
}

std::string loadedCaption(int rows) {
  return loadedCaptionBefore + std::to_string(rows) + loadedCaptionAfter;
}

}  // namespace luting
