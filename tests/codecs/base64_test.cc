#include "codecs/base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace qvn::testing {
namespace {

Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }

// Bit-by-bit encoder, written independently of the table-driven one.
Text ReferenceEncode(const Bytes& bytes) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  Text out;
  uint32_t acc = 0;
  int bits = 0;
  for (uint8_t b : bytes) {
    acc = (acc << 8) | b;
    bits += 8;
    while (bits >= 6) {
      bits -= 6;
      out += static_cast<char16_t>(alphabet[(acc >> bits) & 63]);
    }
  }
  if (bits > 0) out += static_cast<char16_t>(alphabet[(acc << (6 - bits)) & 63]);
  while (out.size() % 4 != 0) out += u'=';
  return out;
}

TEST(Base64, EncodesRfc4648VectorsOfEvenLength) {
  EXPECT_EQ(Base64EncodeBytes(B("")), u"");
  EXPECT_EQ(Base64EncodeBytes(B("fo")), u"Zm8=");
  EXPECT_EQ(Base64EncodeBytes(B("foob")), u"Zm9vYg==");
  EXPECT_EQ(Base64EncodeBytes(B("foobar")), u"Zm9vYmFy");
}

TEST(Base64, EncodeBytesDropsAnOddLastByte) {
  EXPECT_EQ(Base64EncodeBytes(B("f")), u"");
  EXPECT_EQ(Base64EncodeBytes(B("foo")), u"Zm8=");
  EXPECT_EQ(Base64EncodeBytes(B("fooba")), u"Zm9vYg==");
}

TEST(Base64, EncodeTextUsesLittleEndianCodeUnits) {
  EXPECT_EQ(Base64EncodeText(u"a"), u"YQA=");
  EXPECT_EQ(Base64EncodeText(u"\u20AC"), u"rCA=");  // AC 20
  EXPECT_EQ(Base64EncodeText(u""), u"");
}

TEST(Base64, MatchesReferenceEncoderOnRandomBytes) {
  std::mt19937 rng(7);
  for (int len = 0; len < 200; len += 2) {
    Bytes b(len);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    Text enc = Base64EncodeBytes(b);
    ASSERT_EQ(enc, ReferenceEncode(b)) << len;
    ASSERT_EQ(Base64DecodeBytes(enc), b) << len;
  }
}

TEST(Base64, DecodesPaddingOnlyInTheLastGroup) {
  EXPECT_EQ(Base64DecodeBytes(u"Zm9vYmFy"), B("foobar"));
  EXPECT_EQ(Base64DecodeBytes(u"Zm9vYg=="), B("foob"));
  // Five bytes: the odd last one is dropped.
  EXPECT_EQ(Base64DecodeBytes(u"Zm9vYmE="), B("foob"));
  EXPECT_EQ(Base64DecodeBytes(u"Zg=="), B(""));
  // '=' inside the text is not an end: it decodes like any other character.
  EXPECT_EQ(Base64DecodeBytes(u"Zg==Zm8="), (Bytes{0x66, 0x00, 0x00, 0x66}));
}

TEST(Base64, DecodesOnlyWholeGroups) {
  EXPECT_EQ(Base64DecodeBytes(u"Zm9vYmFyZg"), B("foobar"));
  EXPECT_EQ(Base64DecodeBytes(u"Zm9"), B(""));
  EXPECT_EQ(Base64DecodeBytes(u""), B(""));
  EXPECT_EQ(Base64DecodeText(u"Zm8=\r\n"), Text(1, static_cast<char16_t>(0x6F66)));
}

TEST(Base64, SkipsNoCharacter) {
  // The line break is read as two characters of the second group, which
  // spoils the decoding instead of being passed over.
  EXPECT_EQ(Base64DecodeBytes(u"Zm9v\r\nYmFy"), (Bytes{0x66, 0x6F, 0x6F, 0x00, 0x06, 0x26}));
  EXPECT_NE(Base64DecodeBytes(u"Zm9v YmFy"), B("foobar"));
}

TEST(Base64, ReadsCharactersAboveLatin1AsQuestionMark) {
  // U+0167 would decode as 'g' if only its low byte were taken.
  EXPECT_EQ(Base64DecodeBytes(u"Zm\u0167v"), Base64DecodeBytes(u"Zm?v"));
  EXPECT_NE(Base64DecodeBytes(u"Zm\u0167v"), Base64DecodeBytes(u"Zmgv"));
  // U+FF3D is not '=' either.
  EXPECT_EQ(Base64DecodeBytes(u"Zm8\uFF3D").size(), 2u);
}

TEST(Base64, TextRoundTripSurvivesTrailingLineBreak) {
  Text samples[] = {u"", u"a", u"ab", u"abc", Text(u"x\0y", 3), u"\xD800 lone", u"\u00E9\u4E2D"};
  for (const Text& x : samples) {
    EXPECT_EQ(Base64DecodeText(Base64EncodeText(x)), x);
    EXPECT_EQ(Base64DecodeText(Base64EncodeText(x) + u"\r\n"), x);
  }
}

TEST(Base64, LargeTextRoundTrip) {
  std::mt19937 rng(11);
  Text big(3 << 20, u'\0');
  for (auto& c : big) c = static_cast<char16_t>(rng());
  Text enc = Base64EncodeText(big);
  EXPECT_EQ(enc.size(), 4 * ((2 * big.size() + 2) / 3));
  EXPECT_EQ(Base64DecodeText(enc), big);
}

}  // namespace
}  // namespace qvn::testing
