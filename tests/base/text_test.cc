#include "base/text.h"

#include <gtest/gtest.h>

namespace qvn::testing {
namespace {

TEST(TrimTest, RemovesEveryCodeUnitUpToSpaceAtBothEnds) {
  EXPECT_EQ(Trim(u" \t\r\n\x01 a b \0\x1f"), u"a b");
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

}  // namespace
}  // namespace qvn::testing
