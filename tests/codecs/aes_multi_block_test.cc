#include "codecs/aes_multi_block.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "codecs/aes.h"

namespace qvn::testing {
namespace {

// Interleaved chains against the platform cipher, one buffer at a time, on
// random keys and data: the transfer's 32,767-byte blocks (one padding byte),
// whole-block lengths (a full padding block) and short ones, batches of 1 to
// 9 buffers (a second group past eight), in place and into other buffers.
TEST(AesMultiBlockTest, MatchesThePlatformCipherBufferByBuffer) {
  std::mt19937 rng(20261209);
  const size_t lengths[] = {1, 15, 16, 17, 4096, 32767};
  for (size_t n : lengths) {
    for (size_t count = 1; count <= 9; ++count) {
      Text key_text;
      for (int i = 0; i < 32; ++i) key_text += static_cast<char16_t>(1 + rng() % 0xFFFE);
      AesCipher cipher(key_text);
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
      const size_t m = cipher.EncryptBlocks(in.data(), out.data(), count, n);
      ASSERT_EQ(cipher.EncryptBlocks(in2.data(), same.data(), count, n), m);
      ASSERT_EQ(m, 16 * (n / 16 + 1));
      for (size_t i = 0; i < count; ++i) {
        std::vector<uint8_t> ref(in[i], in[i] + n);
        ref.resize(n + 16);
        ASSERT_EQ(cipher.EncryptInPlace(ref.data(), n), m);
        ref.resize(m);
        EXPECT_EQ(std::vector<uint8_t>(out[i], out[i] + m), ref) << n << " " << count << " " << i;
        EXPECT_EQ(std::vector<uint8_t>(same[i], same[i] + m), ref) << n << " " << count << " " << i;
        // Nothing beyond the cipher bytes is touched.
        if (i + 1 < count) {
          EXPECT_EQ(apart[i * stride + m], 0xAA);
        }
      }
    }
  }
  if (!aes_multi_block::Available()) GTEST_SKIP() << "no AES-NI: only the fallback was compared";
}

}  // namespace
}  // namespace qvn::testing
