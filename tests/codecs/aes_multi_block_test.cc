#include "codecs/aes_multi_block.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "base/bytes.h"
#include "codecs/aes.h"
#include "platform/crypto.h"

namespace qvn::testing {
namespace {

Text RandomKeyText(std::mt19937& rng) {
  Text key_text;
  for (int i = 0; i < 32; ++i) key_text += static_cast<char16_t>(1 + rng() % 0xFFFE);
  return key_text;
}

using EncryptFn = size_t (*)(const aes_multi_block::RoundKeys&, const uint8_t* const*,
                             uint8_t* const*, size_t, size_t);

// Every path of the processor against the platform cipher, one buffer at a
// time, on random keys and data: the transfer's 32,767-byte blocks (one
// padding byte), whole-block lengths (a full padding block) and short ones,
// batches around each group size (8 for 128 bits, 4 per register and 16 for
// 512), in place and into other buffers.
TEST(AesMultiBlockTest, EveryPathMatchesThePlatformCipherBufferByBuffer) {
  struct Path {
    const char* name;
    bool available;
    EncryptFn encrypt;
  };
  const Path paths[] = {
      {"AesCipher::EncryptBlocks", true, nullptr},
      {"128-bit chains", aes_multi_block::Available(), &aes_multi_block::Encrypt},
      {"512-bit chains", aes_multi_block::WideAvailable(), &aes_multi_block::EncryptWide},
  };
  std::mt19937 rng(20261209);
  const size_t lengths[] = {1, 15, 16, 17, 4096, 32767};
  const size_t counts[] = {1, 3, 4, 5, 8, 9, 15, 16, 17, 35};
  for (const Path& path : paths) {
    if (!path.available) continue;
    for (size_t n : lengths) {
      for (size_t count : counts) {
        const Text key_text = RandomKeyText(rng);
        AesCipher cipher(key_text);
        aes_multi_block::RoundKeys keys{};
        if (path.encrypt != nullptr) aes_multi_block::ExpandKey(DeriveAesKey(key_text), keys);
        auto run = [&](const uint8_t* const* in, uint8_t* const* out) {
          return path.encrypt ? path.encrypt(keys, in, out, count, n)
                              : cipher.EncryptBlocks(in, out, count, n);
        };
        // Buffers a few cache lines apart within one allocation, as the transfer lays them out.
        const size_t stride = n + 16 + 192;
        std::vector<uint8_t> plain(count * stride), in_place, apart(count * stride, 0xAA);
        for (auto& b : plain) b = static_cast<uint8_t>(rng());
        in_place = plain;
        std::vector<const uint8_t*> in(count), in2(count);
        std::vector<uint8_t*> out(count), same(count);
        for (size_t i = 0; i < count; ++i) {
          in[i] = plain.data() + i * stride;
          out[i] = apart.data() + i * stride;
          same[i] = in_place.data() + i * stride;
          in2[i] = same[i];
        }
        const size_t m = run(in.data(), out.data());
        ASSERT_EQ(run(in2.data(), same.data()), m);
        ASSERT_EQ(m, 16 * (n / 16 + 1));
        for (size_t i = 0; i < count; ++i) {
          std::vector<uint8_t> ref(in[i], in[i] + n);
          ref.resize(n + 16);
          ASSERT_EQ(cipher.EncryptInPlace(ref.data(), n), m);
          ref.resize(m);
          const std::string where = std::string(path.name) + " n=" + std::to_string(n) +
                                    " count=" + std::to_string(count) + " i=" + std::to_string(i);
          EXPECT_EQ(std::vector<uint8_t>(out[i], out[i] + m), ref) << where;
          EXPECT_EQ(std::vector<uint8_t>(same[i], same[i] + m), ref) << where;
          // Nothing beyond the cipher bytes is touched.
          if (i + 1 < count) {
            EXPECT_EQ(apart[i * stride + m], 0xAA) << where;
          }
        }
      }
    }
  }
  if (!aes_multi_block::Available()) GTEST_SKIP() << "no AES-NI: only the fallback was compared";
}

// Decryption in place against the platform cipher: lengths around the
// 512-bit path's runs (64 and 512 bytes plus the first block) and the file
// port's 32,768-byte block, under valid padding (a platform encryption) and
// under random bytes (almost never valid padding: all bytes come back).
TEST(AesMultiBlockTest, DecryptionMatchesThePlatformCipher) {
  std::mt19937 rng(7);
  const size_t lengths[] = {16, 32, 48, 64, 80, 96, 512, 528, 1008, 1024, 1040, 1104, 32768};
  for (size_t n : lengths) {
    for (bool valid_padding : {true, false}) {
      const Text key_text = RandomKeyText(rng);
      const Bytes material = TextToBytes(key_text);
      platform::AesKey reference(material.data(), material.size());
      std::vector<uint8_t> cipher_bytes(n + 16);
      for (auto& b : cipher_bytes) b = static_cast<uint8_t>(rng());
      if (valid_padding) {
        ASSERT_EQ(reference.Encrypt(cipher_bytes.data(), n - 1 - rng() % 15), n);
      }
      cipher_bytes.resize(n);
      std::vector<uint8_t> want = cipher_bytes;
      const size_t plain = reference.Decrypt(want.data(), n);
      const std::string where = "n=" + std::to_string(n) + " valid=" + std::to_string(valid_padding);
      if (valid_padding) {
        EXPECT_LT(plain, n) << where;
      }

      std::vector<uint8_t> got = cipher_bytes;
      AesCipher cipher(key_text);
      ASSERT_EQ(cipher.DecryptInPlace(got.data(), n), plain) << where;
      EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + plain),
                std::vector<uint8_t>(want.begin(), want.begin() + plain)) << where;

      if (!aes_multi_block::WideAvailable()) continue;
      aes_multi_block::RoundKeys keys{}, dec{};
      aes_multi_block::ExpandKey(DeriveAesKey(key_text), keys);
      aes_multi_block::ExpandDecryptKey(keys, dec);
      // Guards on both sides: nothing outside the buffer is touched.
      std::vector<uint8_t> wide(n + 32, 0x5C);
      std::copy(cipher_bytes.begin(), cipher_bytes.end(), wide.begin() + 16);
      aes_multi_block::DecryptWide(dec, wide.data() + 16, n);
      EXPECT_EQ(std::vector<uint8_t>(wide.begin() + 16, wide.begin() + 16 + plain),
                std::vector<uint8_t>(want.begin(), want.begin() + plain)) << where;
      EXPECT_EQ(std::vector<uint8_t>(wide.begin(), wide.begin() + 16), std::vector<uint8_t>(16, 0x5C));
      EXPECT_EQ(std::vector<uint8_t>(wide.end() - 16, wide.end()), std::vector<uint8_t>(16, 0x5C));
    }
  }
}

}  // namespace
}  // namespace qvn::testing
