#include "text/letter_case.h"

#include <gtest/gtest.h>

namespace qvn::testing {
namespace {

TEST(UpperCase, MapsEachCodeUnitOnItsOwn) {
  EXPECT_EQ(UpperCase(u"abc xyz 09;@"), u"ABC XYZ 09;@");
  EXPECT_EQ(UpperCase(u"\u00E0\u00E9\u00FE\u00FF"), u"\u00C0\u00C9\u00DE\u0178");
  EXPECT_EQ(UpperCase(u"\u03B1\u03C9\u0430\u044F"), u"\u0391\u03A9\u0410\u042F");
  EXPECT_EQ(UpperCase(u"\u00D7\u00F7"), u"\u00D7\u00F7");
  // Surrogates stay; a pair is not mapped as one character either.
  const Text deseret_small = u"\xD801\xDC28";
  EXPECT_EQ(UpperCase(deseret_small), deseret_small);
  EXPECT_EQ(UpperCase(u"\xDC00\xD800"), u"\xDC00\xD800");
  // The simple mapping: sharp s has no one-unit upper case and stays.
  EXPECT_EQ(UpperCase(u"\u00DF"), u"\u00DF");
  EXPECT_EQ(UpperCase(Text(u"a\0b", 3)), Text(u"A\0B", 3));
}

TEST(UpperTrim, TrimsThenUpperCases) {
  EXPECT_EQ(UpperTrim(u" \t user name \r\n"), u"USER NAME");
  EXPECT_EQ(UpperTrim(u"   "), u"");
}

}  // namespace
}  // namespace qvn::testing
