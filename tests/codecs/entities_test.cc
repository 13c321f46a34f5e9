#include "codecs/entities.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "base/text.h"
#include "text/replace_text.h"

namespace qvn::testing {
namespace {

struct Pair {
  Text ch, entity;
};
const Pair kOrder[] = {{u";", u"&#59;"},   {u"&", u"&amp;"}, {u",", u"&#44;"},
                       {u"\t", u"&tab;"},  {u"\r", u"&cr;"}, {u"\n", u"&lf;"},
                       {u"{", u"&#123;"},  {u"}", u"&#125;"}};

// The codecs as eight ReplaceText passes each.
Text EncodeByPasses(Text t) {
  for (const Pair& p : kOrder) t = ReplaceText(t, p.ch, p.entity);
  return t;
}
Text DecodeByPasses(Text t) {
  if (t.find(u'&') == Text::npos) return t;
  for (auto it = std::rbegin(kOrder); it != std::rend(kOrder); ++it) {
    t = ReplaceText(t, it->entity, it->ch);
  }
  return t;
}

// Texts made of the special characters, entity texts in mixed letter case,
// pieces of entities and other characters.
Text GeneratedText(std::mt19937& rng, size_t pieces) {
  static const std::vector<Text> parts = {
      u";", u"&", u",", u"\t", u"\r", u"\n", u"{", u"}", u"&#59;", u"&amp;", u"&AMP;",
      u"&Amp;", u"&#44;", u"&tab;", u"&TAB;", u"&cr;", u"&Cr;", u"&lf;", u"&LF;", u"&#123;",
      u"&#125;", u"&amp;#59;", u"#59;", u"&#", u"amp;", u"a", u"Z", u" ", u"1", u"5", u"9",
      u"\u00E9", u"\u4E2D", u"\xD800", u"x", u"&#12", u"&t", u"&l"};
  Text t;
  for (size_t i = rng() % (pieces + 1); i > 0; --i) t += parts[rng() % parts.size()];
  return t;
}

TEST(DataEncode, EscapesTheEightCharacters) {
  EXPECT_EQ(DataEncode(u"a;b"), u"a&amp;#59;b");
  EXPECT_EQ(DataEncode(u"{x,y}\r\n"), u"&#123;x&#44;y&#125;&cr;&lf;");
  EXPECT_EQ(DataEncode(u"a&b\tc"), u"a&amp;b&tab;c");
  EXPECT_EQ(DataEncode(u"  plain  "), u"  plain  ");
  EXPECT_EQ(DataEncode(u""), u"");
  EXPECT_EQ(DataEncode(u"&amp;"), u"&amp;amp&amp;#59;");
}

TEST(DataDecode, ReversesTheEscapes) {
  EXPECT_EQ(DataDecode(u"a&amp;#59;b"), u"a;b");
  EXPECT_EQ(DataDecode(u"&#123;x&#44;y&#125;&cr;&lf;"), u"{x,y}\r\n");
  EXPECT_EQ(DataDecode(u"&#59;"), u";");
  EXPECT_EQ(DataDecode(u"&amp;amp;"), u"&amp;");
  EXPECT_EQ(DataDecode(u"&amp;&#59;"), u"&;");
}

TEST(DataDecode, AcceptsEntitiesInAnyLetterCase) {
  EXPECT_EQ(DataDecode(u"&AMP;"), u"&");
  EXPECT_EQ(DataDecode(u"&Tab;&LF;&cR;"), u"\t\n\r");
  EXPECT_EQ(DataDecode(u"&AmP;#59;"), u";");
}

TEST(DataDecode, LeavesTextWithoutEntitiesAlone) {
  EXPECT_EQ(DataDecode(u"  no entities;\r\n "), u"  no entities;\r\n ");
  EXPECT_EQ(DataDecode(u"& &# &#5 &ta &amp &lf"), u"& &# &#5 &ta &amp &lf");
  EXPECT_EQ(DataDecode(u""), u"");
}

TEST(Entities, RoundTripOnGeneratedTexts) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 20000; ++round) {
    Text x = GeneratedText(rng, 12);
    ASSERT_EQ(DataDecode(DataEncode(x)), x) << round;
  }
}

TEST(Entities, OnePassGivesTheResultsOfTheEightPasses) {
  std::mt19937 rng(77);
  for (int round = 0; round < 20000; ++round) {
    Text x = GeneratedText(rng, 12);
    ASSERT_EQ(DataEncode(x), EncodeByPasses(x)) << round;
    ASSERT_EQ(DataDecode(x), DecodeByPasses(x)) << round;
  }
}

TEST(Entities, LargeTexts) {
  std::mt19937 rng(5);
  Text x;
  while (x.size() < (3u << 20)) x += GeneratedText(rng, 40);
  const Text encoded = DataEncode(x);
  EXPECT_EQ(encoded, EncodeByPasses(x));
  EXPECT_EQ(DataDecode(encoded), x);
  EXPECT_EQ(DataDecode(x), DecodeByPasses(x));
}

}  // namespace
}  // namespace qvn::testing
