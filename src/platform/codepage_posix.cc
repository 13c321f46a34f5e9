// Linux has no system ANSI code page; Windows-1252 stands in for it, the code
// page of the Western Windows installations the server's data comes from.
#include "platform/codepage.h"

#include <array>

namespace qvn::platform {
namespace {

// 0x80..0x9F. The five bytes that Windows-1252 leaves undefined convert to and
// from the C1 control of the same value, as Windows' own conversion does.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

struct Reverse {
  std::array<uint8_t, 65536> byte{};
  Reverse() {
    byte.fill('?');
    for (unsigned c = 0; c < 0x80; ++c) byte[c] = static_cast<uint8_t>(c);
    for (unsigned c = 0xA0; c < 0x100; ++c) byte[c] = static_cast<uint8_t>(c);
    for (unsigned i = 0; i < kHigh.size(); ++i) byte[kHigh[i]] = static_cast<uint8_t>(0x80 + i);
  }
};

const Reverse& ReverseTable() {
  static const Reverse& table = *new Reverse;  // never destroyed, as it may be used at exit
  return table;
}

}  // namespace

Bytes TextToSystemCodePage(TextView text) {
  const auto& table = ReverseTable().byte;
  Bytes out(text.size());
  for (size_t i = 0; i < text.size(); ++i) out[i] = table[text[i]];
  return out;
}

Text SystemCodePageToText(const uint8_t* bytes, size_t size) {
  Text out(size, u'\0');
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = bytes[i];
    out[i] = (b & 0xE0) == 0x80 ? kHigh[b - 0x80] : char16_t{b};
  }
  return out;
}

}  // namespace qvn::platform
