// The codec exports as the host calls them: C strings in, results released
// with ScriptFree.
#include <gtest/gtest.h>

#include <cstring>

#include "api/boundary.h"
#include "qvn.h"

namespace qvn::testing {
namespace {

// Literal to argument: qvn_char is wchar_t on Windows and char16_t elsewhere.
struct Arg {
  explicit Arg(TextView t) : units(t.begin(), t.end()) { units.push_back(0); }
  std::basic_string<qvn_char> units;
  const qvn_char* get() const { return units.c_str(); }
};

// Takes ownership of a result.
struct Result {
  explicit Result(qvn_char* p) : p(p) {}
  ~Result() { ::ScriptFree(p); }
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  Text text() const {
    Text t;
    for (const qvn_char* q = p; *q != 0; ++q) t += static_cast<char16_t>(*q);
    return t;
  }
  bool is_static_empty() const { return p == EmptyResult(); }
  qvn_char* p;
};

TEST(CodecExports, ValueFromStringAllocatesForEveryNonEmptySource) {
  Result field(::ValueFromString(Arg(u"a@b@c").get(), 1, Arg(u"@").get()));
  EXPECT_EQ(field.text(), u"b");

  Result empty_field(::ValueFromString(Arg(u"a@@b").get(), 1, Arg(u"@").get()));
  ASSERT_NE(empty_field.p, nullptr);
  EXPECT_FALSE(empty_field.is_static_empty());
  EXPECT_EQ(empty_field.p[0], 0);

  Result blanks(::ValueFromString(Arg(u"   ").get(), 0, Arg(u"@").get()));
  EXPECT_FALSE(blanks.is_static_empty());
  EXPECT_EQ(blanks.text(), u"");

  Result missing(::ValueFromString(Arg(u"a@b").get(), 5, Arg(u"@").get()));
  EXPECT_FALSE(missing.is_static_empty());
}

TEST(CodecExports, ValueFromStringOfEmptySourceIsTheStaticEmptyText) {
  Result null_source(::ValueFromString(nullptr, 0, Arg(u"@").get()));
  EXPECT_TRUE(null_source.is_static_empty());
  Result empty_source(::ValueFromString(Arg(u"").get(), 0, Arg(u"@").get()));
  EXPECT_TRUE(empty_source.is_static_empty());
  // A null delimiter is an empty one: the whole trimmed source.
  Result null_delimiter(::ValueFromString(Arg(u" a@b ").get(), 3, nullptr));
  EXPECT_EQ(null_delimiter.text(), u"a@b");
}

TEST(CodecExports, ValueCountTreatsNullAsEmpty) {
  EXPECT_EQ(::ValueCount(Arg(u"a;b;c").get(), Arg(u";").get(), false), 3);
  EXPECT_EQ(::ValueCount(Arg(u"abc").get(), Arg(u";").get(), true), 1);
  EXPECT_EQ(::ValueCount(nullptr, Arg(u";").get(), true), 0);
  EXPECT_EQ(::ValueCount(Arg(u"a;b").get(), nullptr, true), 0);
}

TEST(CodecExports, EmptyAnswersAreTheStaticEmptyText) {
  Result a(::DataEncode(nullptr)), b(::DataDecode(Arg(u"").get())), c(::UnPackString(nullptr)),
      d(::UnPackString(Arg(u" \r\n ").get()));
  EXPECT_TRUE(a.is_static_empty());
  EXPECT_TRUE(b.is_static_empty());
  EXPECT_TRUE(c.is_static_empty());
  EXPECT_TRUE(d.is_static_empty());
}

TEST(CodecExports, CodecsReturnAllocatedTexts) {
  Result enc(::DataEncode(Arg(u"a;b").get()));
  EXPECT_FALSE(enc.is_static_empty());
  EXPECT_EQ(enc.text(), u"a&amp;#59;b");
  Result dec(::DataDecode(enc.p));
  EXPECT_EQ(dec.text(), u"a;b");
  Result packed(::PackString(nullptr));
  EXPECT_EQ(packed.text(), u"eNoDAAAAAAE=");
  Result unpacked(::UnPackString(Arg(u"eNpL5OUCAAFKAA==").get()));
  EXPECT_EQ(unpacked.text(), u"a");
}

TEST(CodecExports, ArgumentsEndAtTheirFirstNul) {
  Result enc(::DataEncode(Arg(TextView(u"a,\0,b", 5)).get()));
  EXPECT_EQ(enc.text(), u"a&#44;");
  EXPECT_EQ(::ValueCount(Arg(TextView(u"a;\0;b", 5)).get(), Arg(u";").get(), false), 2);
}

TEST(CodecExports, ResultsAreCutAtAnEmbeddedNul) {
  Result cut(ResultText(TextView(u"ab\0cd", 5)));
  EXPECT_EQ(cut.text(), u"ab");
  EXPECT_EQ(cut.p[2], 0);
  Result nothing(ResultText(TextView(u"\0cd", 3)));
  EXPECT_TRUE(nothing.is_static_empty());
}

TEST(CodecExports, ScriptFreeIgnoresNullAndTheStaticEmptyText) {
  ::ScriptFree(nullptr);
  ::ScriptFree(EmptyResult());
  ::ScriptFree(EmptyResult());
  EXPECT_EQ(EmptyResult()[0], 0);
}

}  // namespace
}  // namespace qvn::testing
