#include "codecs/base64.h"

#include <array>
#include <bit>
#include <cstring>

#include "platform/memory_hint.h"

namespace qvn {
namespace {

static_assert(std::endian::native == std::endian::little,
              "text bytes are written by reinterpreting UTF-16 code units in place");

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters for every 12 bits of input.
struct PairTable {
  std::array<char16_t, 2 * 4096> pairs{};
  constexpr PairTable() {
    for (int i = 0; i < 4096; ++i) {
      pairs[2 * i] = static_cast<char16_t>(kAlphabet[i >> 6]);
      pairs[2 * i + 1] = static_cast<char16_t>(kAlphabet[i & 63]);
    }
  }
};
constexpr PairTable kPairs;

// Per position of a group, the 6 bits of a character already shifted into the
// 24-bit group value. Characters outside the alphabet ('=' and line breaks
// included) carry zero bits, as 'A' does: the server never sends them inside
// the data, and every caller copes with a meaningless result.
struct DecodeTables {
  std::array<uint32_t, 256> shifted[4]{};
  constexpr DecodeTables() {
    for (int i = 0; i < 64; ++i) {
      auto c = static_cast<unsigned char>(kAlphabet[i]);
      auto v = static_cast<uint32_t>(i);
      shifted[0][c] = v << 18;
      shifted[1][c] = v << 12;
      shifted[2][c] = v << 6;
      shifted[3][c] = v;
    }
  }
};
constexpr DecodeTables kDecode;

// Each character stands for one byte; those above U+00FF read as '?'.
inline unsigned ByteOf(char16_t c) { return c > 0xFF ? unsigned{'?'} : unsigned{c}; }

inline uint32_t GroupValue(const char16_t* p) {
  return kDecode.shifted[0][ByteOf(p[0])] | kDecode.shifted[1][ByteOf(p[1])] |
         kDecode.shifted[2][ByteOf(p[2])] | kDecode.shifted[3][ByteOf(p[3])];
}

template <typename Buffer>
void SizeForWrite(Buffer& b, size_t n) {
  b.reserve(n);
  platform::HintLargeWrite(b.data(), b.capacity() * sizeof(b[0]));
  b.resize(n);
}

Text Encode(const uint8_t* in, size_t n) {
  Text out;
  SizeForWrite(out, 4 * ((n + 2) / 3));
  char16_t* o = out.data();
  size_t i = 0;
  for (; i + 3 <= n; i += 3, o += 4) {
    uint32_t v = (uint32_t{in[i]} << 16) | (uint32_t{in[i + 1]} << 8) | in[i + 2];
    std::memcpy(o, &kPairs.pairs[2 * (v >> 12)], 2 * sizeof(char16_t));
    std::memcpy(o + 2, &kPairs.pairs[2 * (v & 0xFFF)], 2 * sizeof(char16_t));
  }
  if (i < n) {
    uint32_t v = uint32_t{in[i]} << 16;
    if (i + 1 < n) v |= uint32_t{in[i + 1]} << 8;
    o[0] = static_cast<char16_t>(kAlphabet[(v >> 18) & 63]);
    o[1] = static_cast<char16_t>(kAlphabet[(v >> 12) & 63]);
    o[2] = i + 1 < n ? static_cast<char16_t>(kAlphabet[(v >> 6) & 63]) : u'=';
    o[3] = u'=';
  }
  return out;
}

// Number of bytes the whole groups of `base64` decode to, an odd last byte
// already left out.
size_t DecodedSize(const Text& base64) {
  const size_t groups = base64.size() / 4;
  if (groups == 0) return 0;
  size_t m = 3 * groups;
  const char16_t* last = base64.data() + 4 * (groups - 1);
  if (last[3] == u'=') {
    --m;
    if (last[2] == u'=') --m;
  }
  return m & ~size_t{1};
}

// Writes exactly `m` bytes (see DecodedSize) decoded from the whole groups.
void DecodeInto(const Text& base64, uint8_t* out, size_t m) {
  const size_t groups = base64.size() / 4;
  if (groups == 0) return;
  const char16_t* p = base64.data();
  // Every group but the last gives all three of its bytes.
  for (size_t g = 0; g + 1 < groups; ++g, p += 4, out += 3) {
    uint32_t v = GroupValue(p);
    out[0] = static_cast<uint8_t>(v >> 16);
    out[1] = static_cast<uint8_t>(v >> 8);
    out[2] = static_cast<uint8_t>(v);
  }
  const size_t rest = m - 3 * (groups - 1);
  uint32_t v = GroupValue(p);
  const uint8_t last[3] = {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                           static_cast<uint8_t>(v)};
  if (rest > 0) std::memcpy(out, last, rest);  // out may be null when nothing is decoded
}

}  // namespace

Text Base64EncodeText(const Text& text) {
  return Encode(reinterpret_cast<const uint8_t*>(text.data()), 2 * text.size());
}

Text Base64EncodeBytes(const Bytes& bytes) {
  // The bytes travel as UTF-16 code units, so an odd last byte has no unit.
  return Encode(bytes.data(), bytes.size() & ~size_t{1});
}

Text Base64DecodeText(const Text& base64) {
  const size_t m = DecodedSize(base64);
  Text out;
  SizeForWrite(out, m / 2);
  DecodeInto(base64, reinterpret_cast<uint8_t*>(out.data()), m);
  return out;
}

Bytes Base64DecodeBytes(const Text& base64) {
  const size_t m = DecodedSize(base64);
  Bytes out;
  SizeForWrite(out, m);
  DecodeInto(base64, out.data(), m);
  return out;
}

}  // namespace qvn
