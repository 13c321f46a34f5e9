#include "codecs/aes.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/errors.h"
#include "platform/crypto.h"
#include "support/crypto_vectors.h"

namespace qvn::testing {
namespace {

Bytes Pattern(size_t n, uint8_t seed = 0) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(31 * i + 7 + seed);
  return b;
}

TEST(AesKnownAnswerTest, KeysAreTheLeadingSha256BytesOfTheUtf16Text) {
  auto vectors = testing::VectorsOf("key");
  ASSERT_GE(vectors.size(), 5u);
  for (const auto& v : vectors) {
    auto key = DeriveAesKey(TextFromHex(v.fields[0]));
    EXPECT_EQ(ToHex(key.data(), key.size()), v.fields[1]) << v.fields[0];
  }
}

TEST(AesKnownAnswerTest, MatchesOpensslEncInBothDirections) {
  auto vectors = testing::VectorsOf("aes");
  ASSERT_GE(vectors.size(), 6u);
  for (const auto& v : vectors) {
    Text key = TextFromHex(v.fields[0]);
    Bytes plain = FromHex(v.fields[1]), cipher = FromHex(v.fields[2]);
    EXPECT_EQ(AesEncryptBytes(plain, key), cipher) << v.fields[1];
    EXPECT_EQ(AesDecryptBytes(cipher, key), plain) << v.fields[2];
  }
}

TEST(AesKnownAnswerTest, TransferSizedBlock) {
  auto vectors = testing::VectorsOf("aesd");
  ASSERT_EQ(vectors.size(), 1u);
  const auto& v = vectors[0];
  Text key = TextFromHex(v.fields[0]);
  Bytes plain = Pattern(std::stoul(v.fields[1]));
  Bytes cipher = AesEncryptBytes(plain, key);
  ASSERT_EQ(cipher.size(), 32768u);
  auto digest = platform::Sha256(cipher.data(), cipher.size());
  EXPECT_EQ(ToHex(digest.data(), digest.size()), v.fields[2]);
  EXPECT_EQ(AesDecryptBytes(cipher, key), plain);
}

TEST(AesTest, CipherLengthIsNextWholeBlockAboveThePlainLength) {
  const Text key = u"5EBE2294ECD0E0F08EAB7690D2A6EE69";
  const std::pair<size_t, size_t> cases[] = {
      {1, 16}, {15, 16}, {16, 32}, {17, 32}, {31, 32}, {32, 48}, {32767, 32768}};
  for (auto [n, m] : cases) {
    Bytes plain = Pattern(n);
    Bytes cipher = AesEncryptBytes(plain, key);
    EXPECT_EQ(cipher.size(), m) << n;
    // PKCS#7: the last block decrypts to the plain tail plus (m - n) bytes of value m - n.
    EXPECT_EQ(AesDecryptBytes(cipher, key), plain) << n;
  }
}

TEST(AesTest, EmptyBuffersStayEmpty) {
  EXPECT_TRUE(AesEncryptBytes({}, u"k").empty());
  EXPECT_TRUE(AesDecryptBytes({}, u"k").empty());
}

TEST(AesTest, EmptyKeyTextIsAnAssertionFailureBeforeAnythingElse) {
  const Bytes some = Pattern(5);
  EXPECT_THROW(AesEncryptBytes({}, u""), AssertionFailure);
  EXPECT_THROW(AesEncryptBytes(some, u""), AssertionFailure);
  EXPECT_THROW(AesDecryptBytes({}, u""), AssertionFailure);
  EXPECT_THROW(AesDecryptBytes(Pattern(16), u""), AssertionFailure);
  EXPECT_THROW(DeriveAesKey(u""), AssertionFailure);
  EXPECT_THROW(AesCipher(u""), AssertionFailure);
  try {
    AesEncryptBytes(some, u"");
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Assertion failure");
  }
}

TEST(AesTest, ZeroIvMakesEncryptionDeterministicAndPrefixesVisible) {
  Bytes a = Pattern(40), b = Pattern(40);
  b[20] ^= 0xFF;  // same first 16 bytes, different second block
  Bytes ca = AesEncryptBytes(a, u"key"), cb = AesEncryptBytes(b, u"key");
  EXPECT_EQ(AesEncryptBytes(a, u"key"), ca);
  ASSERT_EQ(ca.size(), cb.size());
  EXPECT_TRUE(std::equal(ca.begin(), ca.begin() + 16, cb.begin()));
  EXPECT_FALSE(std::equal(ca.begin() + 16, ca.begin() + 32, cb.begin() + 16));
  // The input buffer is left as it was.
  EXPECT_EQ(a, Pattern(40));
}

TEST(AesTest, KeyTextsDifferingInCaseGiveDifferentKeys) {
  EXPECT_NE(DeriveAesKey(u"secret"), DeriveAesKey(u"Secret"));
  EXPECT_NE(AesEncryptBytes(Pattern(16), u"abcdef"), AesEncryptBytes(Pattern(16), u"ABCDEF"));
  // Code units, not characters folded to bytes: U+0141 is not U+0041.
  EXPECT_NE(DeriveAesKey(u"\u0141"), DeriveAesKey(u"A"));
}

TEST(AesTest, WrongKeyRaisesNothingAndNeverGivesThePlainBytes) {
  for (size_t n : {1u, 15u, 16u, 17u, 100u, 1000u}) {
    for (uint8_t seed = 0; seed < 20; ++seed) {
      Bytes plain = Pattern(n, seed);
      Bytes cipher = AesEncryptBytes(plain, u"right");
      Bytes got;
      ASSERT_NO_THROW(got = AesDecryptBytes(cipher, u"wrong"));
      EXPECT_LE(got.size(), cipher.size());
      EXPECT_NE(got, plain);
    }
  }
}

TEST(AesTest, FailedPaddingCheckLeavesTheWholeDecryptedBuffer) {
  // The last plain byte 0 can never be valid padding, so the check fails
  // under the right key: everything comes back, padding included.
  AesCipher cipher(u"key");
  Bytes block = Pattern(32);
  block[31] = 0;
  Bytes raw = block;
  // Encrypt with a padding block, then cut it off: what remains decrypts
  // to `block` with a failing padding check.
  Bytes with_pad(48);
  std::copy(block.begin(), block.end(), with_pad.begin());
  ASSERT_EQ(cipher.EncryptInPlace(with_pad.data(), 32), 48u);
  with_pad.resize(32);
  EXPECT_EQ(AesDecryptBytes(with_pad, u"key"), raw);
}

TEST(AesTest, LengthThatIsNotWholeBlocksComesBackUntouched) {
  Bytes cipher = AesEncryptBytes(Pattern(20), u"key");
  cipher.pop_back();
  EXPECT_EQ(AesDecryptBytes(cipher, u"key"), cipher);
  Bytes three = {1, 2, 3};
  EXPECT_EQ(AesDecryptBytes(three, u"key"), three);
}

TEST(AesCipherTest, EqualsTheOneShotFunctionsOverManyBuffers) {
  const Text key = u"63E780C3F321D13109C71BF81805476E";
  AesCipher cipher(key);
  for (size_t round = 0; round < 200; ++round) {
    size_t n = (round * 977) % 5000;
    Bytes plain = Pattern(n, static_cast<uint8_t>(round));
    Bytes buf(n + 16);
    std::copy(plain.begin(), plain.end(), buf.begin());
    size_t m = cipher.EncryptInPlace(buf.data(), n);
    buf.resize(m);
    ASSERT_EQ(buf, AesEncryptBytes(plain, key)) << round;
    if (round % 7 == 3) {
      // A damaged buffer in between must not disturb the next one.
      Bytes bad = buf;
      if (!bad.empty()) bad.back() ^= 0x55;
      EXPECT_LE(cipher.DecryptInPlace(bad.data(), bad.size()), bad.size());
    }
    size_t p = cipher.DecryptInPlace(buf.data(), buf.size());
    buf.resize(p);
    ASSERT_EQ(buf, plain) << round;
  }
}

TEST(AesCipherTest, EmptyBufferGetsNoPaddingBlock) {
  AesCipher cipher(u"k");
  uint8_t buf[16] = {};
  EXPECT_EQ(cipher.EncryptInPlace(buf, 0), 0u);
  EXPECT_EQ(cipher.DecryptInPlace(buf, 0), 0u);
}

}  // namespace
}  // namespace qvn::testing
