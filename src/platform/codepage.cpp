#include "platform/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>

namespace luting {
namespace {

// One iconv descriptor per direction and thread: descriptors are not safe to
// share, and opening one costs far more than a page's conversion.
class IconvHolder {
 public:
  IconvHolder(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~IconvHolder() {
    if (valid()) iconv_close(cd_);
  }
  IconvHolder(const IconvHolder&) = delete;
  IconvHolder& operator=(const IconvHolder&) = delete;
  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

using Byte = unsigned char;

// Length of the UTF-8 sequence at p: the whole character when well-formed
// (wellFormed set), else its maximal ill-formed subpart, at least 1.
std::size_t utf8SequenceLength(const Byte* p, std::size_t n, bool& wellFormed) {
  wellFormed = false;
  const Byte b = p[0];
  std::size_t need;
  Byte lo = 0x80, hi = 0xBF;  // range of the second byte
  if (b < 0x80) {
    wellFormed = true;
    return 1;
  } else if (b >= 0xC2 && b <= 0xDF) {
    need = 1;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need = 2;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    need = 3;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return 1;
  }
  std::size_t i = 1;
  for (; i <= need && i < n; ++i) {
    const Byte c = p[i];
    if (i == 1 ? (c < lo || c > hi) : (c < 0x80 || c > 0xBF)) return i;
  }
  wellFormed = i == need + 1;
  return i;
}

// Length of the GBK character at p that iconv refused: a lead byte with a
// valid trail byte is one unmapped character, anything else one bad byte.
std::size_t gbkRejectedLength(const Byte* p, std::size_t n) {
  if (n < 2 || p[0] < 0x81 || p[0] > 0xFE) return 1;
  const Byte t = p[1];
  return (t >= 0x40 && t <= 0xFE && t != 0x7F) ? 2 : 1;
}

std::size_t utf8RejectedLength(const Byte* p, std::size_t n) {
  bool wellFormed;
  return utf8SequenceLength(p, n, wellFormed);
}

// Converts in through cd; each rejected sequence (as measured by rejected)
// becomes one "?". maxGrowth bounds output bytes per input byte.
std::string convert(const IconvHolder& cd, std::string_view in, std::size_t maxGrowth,
                    std::size_t (*rejected)(const Byte*, std::size_t)) {
  std::string out;
  if (in.empty()) return out;
  if (!cd.valid()) return std::string(in.size(), '?');
  out.resize(in.size() * maxGrowth + 1);
  iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  char* src = const_cast<char*>(in.data());
  std::size_t srcLeft = in.size();
  char* dst = out.data();
  std::size_t dstLeft = out.size();
  while (srcLeft > 0) {
    if (iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1)) break;
    if (errno != EILSEQ && errno != EINVAL) break;  // E2BIG cannot happen: out is large enough
    const std::size_t skip = rejected(reinterpret_cast<const Byte*>(src), srcLeft);
    src += skip;
    srcLeft -= skip;
    *dst++ = '?';
    --dstLeft;
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  }
  out.resize(out.size() - dstLeft);
  return out;
}

}  // namespace

std::string convertGbkToUtf8(std::string_view gbk) {
  thread_local const IconvHolder cd("UTF-8", "CP936");
  return convert(cd, gbk, 3, gbkRejectedLength);
}

std::string_view leadingCharacters(std::string_view gbk, std::size_t maxBytes) {
  if (gbk.size() <= maxBytes) return gbk;
  std::size_t n = 0;
  for (;;) {
    const Byte lead = static_cast<Byte>(gbk[n]);
    const std::size_t next = n + (lead >= 0x81 && lead <= 0xFE ? 2 : 1);
    if (next > maxBytes) return gbk.substr(0, n);
    n = next;
  }
}

std::string convertUtf8ToGbk(std::string_view utf8) {
  thread_local const IconvHolder cd("CP936", "UTF-8");
  return convert(cd, utf8, 1, utf8RejectedLength);
}

}  // namespace luting
