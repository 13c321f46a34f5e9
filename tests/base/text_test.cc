#include "base/text.h"

#include <gtest/gtest.h>

#include <limits>

#include "base/bytes.h"
#include "base/whole_number.h"

namespace qvn::testing {
namespace {

TEST(TrimTest, RemovesEveryCodeUnitUpToSpaceAtBothEnds) {
  for (const Text& t : {Text(u" \t\r\n\x01 a b \0\x1f", 12), Text(u"   "), Text(u"\u00a0x\u00a0"),
                        Text(u"a \r\n"), Text(u"\r\n a")}) {
    Text in_place = t;
    TrimInPlace(in_place);
    EXPECT_EQ(in_place, Trim(t));
  }
  EXPECT_EQ(Trim(Text(u" \t\r\n\x01 a b \0\x1f", 12)), u"a b");
  EXPECT_EQ(Trim(u"   "), u"");
  EXPECT_EQ(Trim(u"\u00a0x\u00a0"), u"\u00a0x\u00a0");  // no-break space is not a blank
}

TEST(LineListTest, SplitsAtCrLfLoneCrAndLoneLf) {
  EXPECT_EQ(SplitLines(u"a\r\nb\rc\nd"), (std::vector<Text>{u"a", u"b", u"c", u"d"}));
  EXPECT_EQ(SplitLines(u"a\n\nb\r\n"), (std::vector<Text>{u"a", u"", u"b"}));
  EXPECT_EQ(SplitLines(u"\n"), (std::vector<Text>{u""}));
  EXPECT_TRUE(SplitLines(u"").empty());
  EXPECT_EQ(SplitLines(u"\r\r\n"), (std::vector<Text>{u"", u""}));
}

TEST(LineListTest, TextEndsAtFirstNul) {
  Text t = u"a\r\nb";
  t += u'\0';
  t += u"c\r\nd";
  EXPECT_EQ(SplitLines(t), (std::vector<Text>{u"a", u"b"}));
}

TEST(LineListTest, JoinEndsEveryLineWithCrLf) {
  EXPECT_EQ(JoinLines({u"a", u"", u"b"}), u"a\r\n\r\nb\r\n");
  EXPECT_EQ(JoinLines({}), u"");
}

TEST(Utf8Test, RoundTripsAllPlanes) {
  Text t = u"A\u00e9\u20ac\U0001F600z";
  EXPECT_EQ(TextToUtf8(t), "A\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80z");
  EXPECT_EQ(Utf8ToText(TextToUtf8(t)), t);
}

TEST(Utf8Test, ReplacesUnpairedSurrogatesAndInvalidBytes) {
  Text lone;
  lone += static_cast<char16_t>(0xD800);
  lone += u'x';
  EXPECT_EQ(TextToUtf8(lone), "\xef\xbf\xbdx");
  EXPECT_EQ(Utf8ToText("a\xff" "b\xc0\x80" "c\xe2\x82"), u"a\ufffdb\ufffd\ufffdc\ufffd\ufffd");
}

TEST(DecimalTextTest, WritesSignedAndUnsignedWithoutLeadingZeros) {
  EXPECT_EQ(DecimalText(0), u"0");
  EXPECT_EQ(DecimalText(-1), u"-1");
  EXPECT_EQ(DecimalText(INT64_MIN), u"-9223372036854775808");
  EXPECT_EQ(UnsignedDecimalText(UINT64_MAX), u"18446744073709551615");
}

TEST(BytesTest, TextIsLittleEndianUnitsAndCountsAreBigEndian) {
  const Text t = u"A\u20ac\U0001F600";
  EXPECT_EQ(TextToBytes(t), (Bytes{0x41, 0x00, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE}));
  const Bytes odd{0x41, 0x00, 0xAC, 0x20, 0x7F};
  EXPECT_EQ(BytesToText(odd), u"A\u20ac");  // the odd byte is dropped
  EXPECT_EQ(BytesToText(odd.data(), 4, /*big_endian=*/true), u"\u4100\uac20");
  uint8_t prefix[4];
  PutBigEndian32(0x80000102u, prefix);
  EXPECT_EQ(Bytes(prefix, prefix + 4), (Bytes{0x80, 0x00, 0x01, 0x02}));
  EXPECT_EQ(GetBigEndian32(prefix), 0x80000102u);
}

// The three readers of numbers: BUILD SHOW[n] (blanks allowed before the
// sign), a record number (nothing before the sign) and a download size
// (blanks, hexadecimal, 64 bits).
TEST(WholeNumberTest, AcceptsExactlyEachCallersSyntax) {
  const WholeNumberSyntax directive{.leading_blanks = true};
  const WholeNumberSyntax record{};
  const WholeNumberSyntax size{.leading_blanks = true, .hexadecimal = true,
                               .min = std::numeric_limits<int64_t>::min(),
                               .max = std::numeric_limits<int64_t>::max()};
  struct Case {
    const char16_t* text;
    std::optional<int64_t> directive, record, size;
  };
  const std::optional<int64_t> no;
  const Case cases[] = {
      {u"123", 123, 123, 123},
      {u"  \t42", 42, no, 42},
      {u"+7", 7, 7, 7},
      {u"-7", -7, -7, -7},
      {u"007", 7, 7, 7},
      {u"$ff", no, no, 255},
      {u"x1A", no, no, 26},
      {u"X1a", no, no, 26},
      {u"0x10", no, no, 16},
      {u"0X10", no, no, 16},
      {u"-$10", no, no, -16},
      {u"2147483647", 2147483647, 2147483647, 2147483647},
      {u"-2147483648", INT32_MIN, INT32_MIN, INT32_MIN},
      {u"2147483648", no, no, 2147483648},
      {u"-2147483649", no, no, -2147483649},
      {u"9223372036854775807", no, no, INT64_MAX},
      {u"-9223372036854775808", no, no, INT64_MIN},
      {u"$7FFFFFFFFFFFFFFF", no, no, INT64_MAX},
      {u"9223372036854775808", no, no, no},
      {u"-9223372036854775809", no, no, no},
      {u"$8000000000000000", no, no, no},
      {u"99999999999999999999999", no, no, no},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseWholeNumber(c.text, directive), c.directive) << TextToUtf8(c.text);
    EXPECT_EQ(ParseWholeNumber(c.text, record), c.record) << TextToUtf8(c.text);
    EXPECT_EQ(ParseWholeNumber(c.text, size), c.size) << TextToUtf8(c.text);
  }
  for (const Text bad : {u"", u"  ", u"-", u"+", u"$", u"0x", u"12a", u"12 ", u"1.5", u"ff",
                         u"--1", u"1 7", u"\u0661"}) {
    for (const WholeNumberSyntax& s : {directive, record, size}) {
      EXPECT_FALSE(ParseWholeNumber(bad, s).has_value()) << TextToUtf8(bad);
    }
  }
}

}  // namespace
}  // namespace qvn::testing
