#include "codecs/text_crypto.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/errors.h"
#include "codecs/aes.h"
#include "codecs/base64.h"
#include "support/crypto_vectors.h"

namespace qvn::testing {
namespace {

int TrailingFill(const Text& t) {
  int n = 0;
  for (size_t i = t.size(); i > 0 && t[i - 1] == u'='; --i) ++n;
  return n;
}

TEST(TextCryptoKnownAnswerTest, EncryptedTextsMatchOpensslAndBase64) {
  auto vectors = testing::VectorsOf("text");
  ASSERT_GE(vectors.size(), 7u);
  for (const auto& v : vectors) {
    Text key = TextFromHex(v.fields[0]), text = TextFromHex(v.fields[1]);
    Text expected = testing::Ascii(v.fields[2]);
    EXPECT_EQ(EncryptText(key, text), expected) << v.fields[1];
    EXPECT_EQ(DecryptText(key, expected), text) << v.fields[2];
  }
}

TEST(TextCryptoKnownAnswerTest, TwoKeyTextsMatchOpenssl) {
  auto vectors = testing::VectorsOf("twice");
  ASSERT_GE(vectors.size(), 2u);
  for (const auto& v : vectors) {
    Text inner = TextFromHex(v.fields[0]), outer = TextFromHex(v.fields[1]);
    Text text = TextFromHex(v.fields[2]), expected = testing::Ascii(v.fields[3]);
    EXPECT_EQ(EncryptTextTwice(inner, outer, text), expected);
    EXPECT_EQ(DecryptTextTwice(inner, outer, expected), text);
  }
}

TEST(TextCryptoKnownAnswerTest, DigestTextsMatchOpensslMd5) {
  auto vectors = testing::VectorsOf("md5");
  ASSERT_GE(vectors.size(), 5u);
  for (const auto& v : vectors)
    EXPECT_EQ(Md5Hex(TextFromHex(v.fields[0])), testing::Ascii(v.fields[1])) << v.fields[0];
}

TEST(EncryptTextTest, LengthFollowsTheCipherBlocks) {
  Text one = EncryptText(u"key", u"x");
  EXPECT_EQ(one.size(), 24u);
  EXPECT_EQ(TrailingFill(one), 2);
  Text eight = EncryptText(u"key", u"abcdefgh");  // 16 bytes: a whole padding block
  EXPECT_EQ(eight.size(), 44u);
  EXPECT_EQ(TrailingFill(eight), 1);
  EXPECT_EQ(EncryptText(u"key", Text(100, u'z')).size(), 4 * ((208 + 2) / 3));
  EXPECT_EQ(EncryptText(u"key", u"x"), one);
}

TEST(EncryptTextTest, EmptyKeyFailsEvenForEmptyText) {
  EXPECT_THROW(EncryptText(u"", u""), AssertionFailure);
  EXPECT_THROW(EncryptText(u"", u"x"), AssertionFailure);
  EXPECT_THROW(DecryptText(u"", u""), AssertionFailure);
  EXPECT_THROW(DecryptText(u"", u"AAAA"), AssertionFailure);
  EXPECT_THROW(EncryptTextTwice(u"", u"b", u""), AssertionFailure);
  EXPECT_THROW(EncryptTextTwice(u"a", u"", u"x"), AssertionFailure);
  EXPECT_THROW(DecryptTextTwice(u"a", u"", u""), AssertionFailure);
  EXPECT_THROW(DecryptTextTwice(u"", u"b", u"x"), AssertionFailure);
  EXPECT_EQ(EncryptText(u"k", u""), u"");
  EXPECT_EQ(DecryptText(u"k", u""), u"");
}

TEST(EncryptTextTest, RoundTripsEveryCodeUnitAsItIs) {
  Text all;
  for (uint32_t c = 0; c <= 0xFFFF; ++c) all += static_cast<char16_t>(c);  // NULs, lone surrogates
  const Text samples[] = {u"a", Text(1, u'\0'), Text(u"a\0b\0", 4), u"\xD800", u"\xDC00\xD800",
                          u"Gr\u00fc\u00dfe \U0001F600", all};
  for (const Text& x : samples) EXPECT_EQ(DecryptText(u"k3y", EncryptText(u"k3y", x)), x);
}

TEST(DecryptTextTest, OddFinalPlainByteIsIgnored) {
  Bytes odd = {'A', 0, 'B'};
  Text encrypted = Base64EncodeBytes(AesEncryptBytes(odd, u"k"));
  EXPECT_EQ(DecryptText(u"k", encrypted), u"A");
}

TEST(DecryptTextTest, WrongKeyOrGarbageGivesMeaninglessTextNotAnError) {
  const Text x = u"the plain script text";
  Text encrypted = EncryptText(u"right", x);
  Text got;
  EXPECT_NO_THROW(got = DecryptText(u"wrong", encrypted));
  EXPECT_NE(got, x);
  EXPECT_NO_THROW(DecryptText(u"k", u"not base64 at all!"));
  EXPECT_NO_THROW(DecryptText(u"k", u"\xFFFF\xD800=="));
  EXPECT_NO_THROW(DecryptText(u"k", u"A"));
}

TEST(EncryptTextTwiceTest, RoundTripsAndSwappedKeysDoNot) {
  const Text x = u"BUILD SHOW\r\nline two \u20ac";
  Text twice = EncryptTextTwice(u"inner", u"outer", x);
  EXPECT_EQ(twice, EncryptText(u"outer", EncryptText(u"inner", x)));
  EXPECT_EQ(DecryptTextTwice(u"inner", u"outer", twice), x);
  EXPECT_NE(DecryptTextTwice(u"outer", u"inner", twice), x);
  EXPECT_NE(DecryptTextTwice(u"inner", u"outer", EncryptTextTwice(u"outer", u"inner", x)), x);
}

TEST(Md5HexTest, UpperCaseHexOfOneBytePerCodeUnit) {
  Text d = Md5Hex(u"password");
  ASSERT_EQ(d.size(), 32u);
  for (char16_t c : d) EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')) << int(c);
  EXPECT_EQ(Md5Hex(u"p\u00e4ss"), Md5Hex(u"p?ss"));
  EXPECT_EQ(Md5Hex(u"\u20ac"), Md5Hex(u"?"));
  EXPECT_EQ(Md5Hex(u"\U0001F600"), Md5Hex(u"??"));  // each half of the pair
  EXPECT_NE(Md5Hex(u"\x7f"), Md5Hex(u"?"));
  EXPECT_NE(Md5Hex(u"password"), Md5Hex(u"Password"));
}

TEST(Md5HexTest, AdministrativeTokenShape) {
  // A digest text encrypted under itself: 64 text bytes, 80 cipher bytes.
  for (const Text& line : {Text(u"dbpass"), Text(u""), Text(u"\u00fcber")}) {
    Text digest = Md5Hex(line);
    Text token = EncryptText(digest, digest);
    EXPECT_EQ(token.size(), 108u);
    EXPECT_EQ(TrailingFill(token), 1);
    EXPECT_EQ(DecryptText(digest, token), digest);
  }
}

TEST(TextCryptoTest, CallsOnSeveralThreadsAtOnceNeedNoLock) {
  // Each call opens its own cipher service, hash and key.
  const Text key = Md5Hex(u"dbpass"), x = u"SELECT * FROM t WHERE id = 1";
  const Text expected = EncryptText(key, x);
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        Text e = EncryptText(key, x);
        if (e != expected || DecryptText(key, e) != x || Md5Hex(u"dbpass") != key) ++wrong;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace qvn::testing
