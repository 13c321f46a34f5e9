#include "codecs/value_list.h"

#include <gtest/gtest.h>

#include <random>

#include "support/random_text.h"
#include "text/replace_text.h"

namespace qvn::testing {
namespace {

// Field reading and counting spelled out step by step, as slowly as the
// definition reads: searches restart one unit after each occurrence's start,
// and counting deletes everything up to each occurrence.
Text SlowValueFromString(const Text& text, int32_t index, const Text& d) {
  Text s = Trim(text);
  if (s.empty()) return Text();
  if (d.empty()) return s;
  if (s.find(d) == Text::npos) return index == 0 ? s : Text();
  if (index == 0) return s.substr(0, s.find(d));
  uint32_t wanted = static_cast<uint32_t>(index);
  uint32_t n = 1;
  size_t p = 0;
  for (;;) {
    p = s.find(d, p);
    if (p == Text::npos) return Text();
    if (n == wanted) {
      size_t q = s.find(d, p + 1);
      size_t start = p + d.size();
      if (q == Text::npos) return s.substr(start);
      return q <= start ? Text() : s.substr(start, q - start);
    }
    ++n;
    ++p;
  }
}

int32_t SlowValueCount(const Text& text, const Text& d, bool count_single) {
  Text t = Trim(text);
  if (t.empty() || d.empty()) return 0;
  if (t.find(d) == Text::npos) return count_single ? 1 : 0;
  int32_t count = 1;
  for (size_t p; (p = t.find(d)) != Text::npos;) {
    ++count;
    t.erase(0, p + d.size());
  }
  return count;
}

TEST(ValueFromString, ReadsFieldsOfTheTrimmedText) {
  EXPECT_EQ(ValueFromString(u"  a@b@c  ", 0, u"@"), u"a");
  EXPECT_EQ(ValueFromString(u"  a@b@c  ", 1, u"@"), u"b");
  EXPECT_EQ(ValueFromString(u"  a@b@c  ", 2, u"@"), u"c");
  EXPECT_EQ(ValueFromString(u"  a@b@c  ", 3, u"@"), u"");
  EXPECT_EQ(ValueFromString(u"  a@b@c  ", -1, u"@"), u"");
  EXPECT_EQ(ValueFromString(u"  a@b@c  ", INT32_MIN, u"@"), u"");
  EXPECT_EQ(ValueFromString(u"x@ y @z", 1, u"@"), u" y ");
  EXPECT_EQ(ValueFromString(u"a@@b", 1, u"@"), u"");
  EXPECT_EQ(ValueFromString(u"a@@b", 2, u"@"), u"b");
  EXPECT_EQ(ValueFromString(u"a;b;", 2, u";"), u"");
  EXPECT_EQ(ValueFromString(u"@a", 0, u"@"), u"");
}

TEST(ValueFromString, WithoutDelimiterGivesTheWholeTextOnlyAsFieldZero) {
  EXPECT_EQ(ValueFromString(u"abc", 0, u"@"), u"abc");
  EXPECT_EQ(ValueFromString(u"abc", 1, u"@"), u"");
  EXPECT_EQ(ValueFromString(u" \t\r\n ", 0, u"@"), u"");
  EXPECT_EQ(ValueFromString(u"", 0, u"@"), u"");
}

TEST(ValueFromString, EmptyDelimiterGivesTheWholeTrimmedText) {
  for (int32_t i : {0, 1, 7, -1}) EXPECT_EQ(ValueFromString(u" a@b ", i, u""), u"a@b");
}

TEST(ValueFromString, MatchesDelimiterExactly) {
  EXPECT_EQ(ValueFromString(u"aXbxc", 1, u"x"), u"c");
  EXPECT_EQ(ValueFromString(u"a::b::c", 2, u"::"), u"c");
}

TEST(ValueFromString, OverlappingDelimitersEachEndAField) {
  EXPECT_EQ(ValueFromString(u"xaaay", 0, u"aa"), u"x");
  EXPECT_EQ(ValueFromString(u"xaaay", 1, u"aa"), u"");
  EXPECT_EQ(ValueFromString(u"xaaay", 2, u"aa"), u"y");
  EXPECT_EQ(ValueFromString(u"xaaay", 3, u"aa"), u"");
  EXPECT_EQ(ValueFromString(u"1abab2abab3", 1, u"abab"), u"2");
  EXPECT_EQ(ValueFromString(u"1ababab2", 1, u"abab"), u"");
  EXPECT_EQ(ValueFromString(u"1ababab2", 2, u"abab"), u"2");
}

TEST(ValueCount, CountsNonOverlappingOccurrencesPlusOne) {
  EXPECT_EQ(ValueCount(u"a;b;c", u";", false), 3);
  EXPECT_EQ(ValueCount(u";", u";", false), 2);
  EXPECT_EQ(ValueCount(u"a;b;", u";", false), 3);
  EXPECT_EQ(ValueCount(u"xaaay", u"aa", false), 2);
  EXPECT_EQ(ValueCount(u"ababa", u"aba", true), 2);
  EXPECT_EQ(ValueCount(u"aaaa", u"aa", true), 3);
}

TEST(ValueCount, SingleFieldAndEmptyCases) {
  EXPECT_EQ(ValueCount(u"abc", u";", false), 0);
  EXPECT_EQ(ValueCount(u"abc", u";", true), 1);
  EXPECT_EQ(ValueCount(u"   ", u";", false), 0);
  EXPECT_EQ(ValueCount(u"   ", u";", true), 0);
  EXPECT_EQ(ValueCount(u"a;b", u"", true), 0);
  // The delimiter is searched in the trimmed text only.
  EXPECT_EQ(ValueCount(u" abc ", u" ", true), 1);
}

TEST(ValueList, AgreesWithTheDefinitionOnGeneratedTexts) {
  std::mt19937 rng(1234);
  const Text alphabet = u"ab@ ";
  const Text delimiters[] = {u"@", u"a", u"aa", u"ab", u"aba", u"abab", u"aab", u"@a@", u" a"};
  for (int round = 0; round < 4000; ++round) {
    Text text = RandomText(rng, alphabet, 24);
    const Text& d = delimiters[rng() % std::size(delimiters)];
    bool single = rng() % 2 == 0;
    ASSERT_EQ(ValueCount(text, d, single), SlowValueCount(text, d, single)) << round;
    for (int32_t index = -1; index < 14; ++index) {
      ASSERT_EQ(ValueFromString(text, index, d), SlowValueFromString(text, index, d))
          << "round " << round << " index " << index;
    }
  }
}

TEST(ValueList, LinearOnLargeAndAdversarialTexts) {
  // A few megabytes: a quadratic reading of any of these would not finish.
  Text big;
  for (int i = 0; i < 300000; ++i) big += u"field" + DecimalText(i) + u"@";
  big += u"last";
  EXPECT_EQ(ValueFromString(big, 300000, u"@"), u"last");
  EXPECT_EQ(ValueFromString(big, 299999, u"@"), u"field299999");
  EXPECT_EQ(ValueCount(big, u"@", false), 300001);
  EXPECT_EQ(ValueFromString(big, -1, u"@"), u"");

  const Text run(4 << 20, u'a');
  Text hard_delimiter(2000, u'a');
  hard_delimiter += u'b';
  EXPECT_EQ(ValueCount(run, hard_delimiter, true), 1);
  EXPECT_EQ(ValueFromString(run, 1, hard_delimiter), u"");
  EXPECT_EQ(ValueFromString(run + hard_delimiter + u"z", 1, hard_delimiter), u"z");
  // Every position starts an overlapping occurrence.
  EXPECT_EQ(ValueFromString(run, static_cast<int32_t>(run.size() - 1), u"aa"), u"");
  EXPECT_EQ(ValueFromString(run + u"b", static_cast<int32_t>(run.size() - 1), u"aa"), u"b");
  EXPECT_EQ(ValueCount(run, u"aa", false), static_cast<int32_t>(run.size() / 2 + 1));
  EXPECT_EQ(ReplaceText(run, hard_delimiter, u"x"), run);
  EXPECT_EQ(ReplaceText(run, u"AA", u"b"), Text(run.size() / 2, u'b'));
}

}  // namespace
}  // namespace qvn::testing
