#include "text/replace_text.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>

#include "support/random_text.h"
#include "text/letter_case.h"

namespace qvn::testing {
namespace {

// Letter case ignored, original units kept, inserted text never rescanned.
TEST(ReplaceText, ReplacesLeftToRightIgnoringCase) {
  const Text cases[][4] = {
      {u"Abcabc", u"BC", u"x", u"Axax"},           {u"ABCabc", u"bC", u"-", u"A-a-"},
      {u"\u00C4b \u00E4B", u"\u00E4b", u"=", u"= ="}, {u"x\u03B1\u0391y", u"\u0391", u".", u"x..y"},
      {u"Abc", u"q", u"x", u"Abc"},                {u"aa", u"a", u"aa", u"aaaa"},
      {u"aaa", u"aa", u"a", u"aa"},                {u"abab", u"ab", u"b", u"bb"},
      {u"abc", u"", u"x", u"abc"},                 {u"", u"a", u"x", u""},
      {u"abc", u"abc", u"", u""}};
  for (const auto& c : cases) EXPECT_EQ(ReplaceText(c[0], c[1], c[2]), c[3]) << TextToUtf8(c[0]);
}

TEST(ReplaceText, AgreesWithUpperCasedSearchOnGeneratedTexts) {
  std::mt19937 rng(99);
  const Text alphabet = u"aAbB\u00E9\u00C9;";
  for (int round = 0; round < 3000; ++round) {
    Text text = RandomText(rng, alphabet, 20);
    Text pattern = RandomText(rng, alphabet, 3);
    if (pattern.empty()) continue;
    // The definition: search the upper-cased text, copy from the original.
    Text u = UpperCase(text), p = UpperCase(pattern), expected;
    size_t last = 0;
    for (size_t k; (k = u.find(p, last)) != Text::npos; last = k + p.size()) {
      expected += text.substr(last, k - last) + u"<>";
    }
    expected += text.substr(last);
    ASSERT_EQ(ReplaceText(text, pattern, u"<>"), expected) << round;
  }
}

// Collapsing as defined: pass after pass while the pattern occurs exactly,
// stopping after a pass that does not shorten the text.
Text CollapseByPasses(const Text& text, const Text& pattern, const Text& replacement) {
  Text t = Trim(text);
  if (pattern.empty()) return t;
  while (t.find(pattern) != Text::npos) {
    Text next = ReplaceText(t, pattern, replacement);
    const bool shorter = next.size() < t.size();
    t = next;
    if (!shorter) break;
  }
  return t;
}

TEST(CollapseText, AgreesWithPassAfterPassOnGeneratedTexts) {
  // The tidying pairs, and pairs whose rewrites overlap, re-form the pattern,
  // or differ in letter case from the text.
  const Text pairs[][2] = {{u"  ", u" "},     {u"[ ", u"["},   {u" ]", u"]"},
                           {u"{\r\n", u"{"}, {u"\r\n}", u"}"}, {u"  [", u" ["},
                           {u"aa", u"a"},     {u"ab", u""},    {u"aba", u"b"},
                           {u"aab", u"ba"},   {u"A ", u"A"},   {u"ab", u"ba"},
                           {u"a", u"aa"},     {u"abab", u"ab"}, {u"a a", u"a"}};
  std::mt19937 rng(7);
  const Text alphabet = u" []{}\r\naAb";
  for (int round = 0; round < 20000; ++round) {
    const Text text = RandomText(rng, alphabet, 24);
    const auto& pair = pairs[static_cast<size_t>(round) % std::size(pairs)];
    ASSERT_EQ(CollapseText(text, pair[0], pair[1]), CollapseByPasses(text, pair[0], pair[1]))
        << round << " " << TextToUtf8(text) << " / " << TextToUtf8(pair[0]);
  }
  const Text directive = u"BUILD SHOW[5" + Text(40000, u' ') + u"]";
  EXPECT_EQ(CollapseText(directive, u" ]", u"]"), u"BUILD SHOW[5]");
}

// Repeats until the pattern is gone; a pattern in another letter case does
// not run; a pass that does not shorten the text is the last.
TEST(CollapseText, RepeatsWhileThePatternOccursExactly) {
  const Text cases[][4] = {
      {u"  a    b  ", u"  ", u" ", u"a b"}, {u"[  x   ]", u"[ ", u"[", u"[x   ]"},
      {u"aaaab", u"ab", u"b", u"b"},        {u"  xAAy  ", u"aa", u"a", u"xAAy"},
      {u"xax", u"a", u"a", u"xax"},         {u"aa", u"a", u"aa", u"aaaa"},
      {u" abc ", u"", u"x", u"abc"}};
  for (const auto& c : cases) EXPECT_EQ(CollapseText(c[0], c[1], c[2]), c[3]) << TextToUtf8(c[0]);
  EXPECT_EQ(CollapseText(u"a" + Text(100000, u' ') + u"b", u"  ", u" "), u"a b");
}

}  // namespace
}  // namespace qvn::testing
