#include "codecs/aes_multi_block.h"

#include <cstring>

#include "platform/cpu_features.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <wmmintrin.h>
#include <smmintrin.h>
#define QVN_AESNI_TARGET __attribute__((target("aes,sse4.1")))
#endif

namespace qvn::aes_multi_block {

#if defined(QVN_AESNI_TARGET)
namespace {

// One step of the AES-128 key schedule; `assist` is aeskeygenassist of the
// previous round key with this round's constant.
QVN_AESNI_TARGET inline __m128i NextRoundKey(__m128i key, __m128i assist) {
  assist = _mm_shuffle_epi32(assist, 0xff);
  key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
  key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
  key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
  return _mm_xor_si128(key, assist);
}

// One 16-byte block of each of N chains: c[i] = E(c[i] ^ src[i][off]).
template <size_t N>
QVN_AESNI_TARGET inline void Step(__m128i (&c)[N], const __m128i* rk, const uint8_t* const* src,
                                  size_t off, uint8_t* const* out, size_t out_off) {
#pragma GCC unroll 8
  for (size_t i = 0; i < N; ++i) {
    __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[i] + off));
    c[i] = _mm_xor_si128(c[i], _mm_xor_si128(p, rk[0]));
  }
#pragma GCC unroll 9
  for (int r = 1; r < 10; ++r) {
#pragma GCC unroll 8
    for (size_t i = 0; i < N; ++i) c[i] = _mm_aesenc_si128(c[i], rk[r]);
  }
#pragma GCC unroll 8
  for (size_t i = 0; i < N; ++i) {
    c[i] = _mm_aesenclast_si128(c[i], rk[10]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out[i] + out_off), c[i]);
  }
}

// N chains side by side: `whole` blocks straight from the input, then each
// chain's padded final block from `last`.
template <size_t N>
QVN_AESNI_TARGET void EncryptChains(const __m128i* rk, const uint8_t* const* in,
                                    uint8_t* const* out, size_t whole,
                                    const uint8_t (*last)[16]) {
  __m128i c[N];
  const uint8_t* last_ptr[N];
  for (size_t i = 0; i < N; ++i) {
    c[i] = _mm_setzero_si128();  // the zero IV
    last_ptr[i] = last[i];
  }
  for (size_t j = 0; j < whole; ++j) Step<N>(c, rk, in, 16 * j, out, 16 * j);
  Step<N>(c, rk, last_ptr, 0, out, 16 * whole);
}

using ChainsFn = void (*)(const __m128i*, const uint8_t* const*, uint8_t* const*, size_t,
                          const uint8_t (*)[16]);
constexpr ChainsFn kChains[kMaxChains + 1] = {
    nullptr,          EncryptChains<1>, EncryptChains<2>, EncryptChains<3>, EncryptChains<4>,
    EncryptChains<5>, EncryptChains<6>, EncryptChains<7>, EncryptChains<8>};

}  // namespace

bool Available() { return platform::CpuHasAesNi(); }

QVN_AESNI_TARGET void ExpandKey(const std::array<uint8_t, 16>& key, RoundKeys& out) {
  __m128i* rk = reinterpret_cast<__m128i*>(out.bytes);
  rk[0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key.data()));
  rk[1] = NextRoundKey(rk[0], _mm_aeskeygenassist_si128(rk[0], 0x01));
  rk[2] = NextRoundKey(rk[1], _mm_aeskeygenassist_si128(rk[1], 0x02));
  rk[3] = NextRoundKey(rk[2], _mm_aeskeygenassist_si128(rk[2], 0x04));
  rk[4] = NextRoundKey(rk[3], _mm_aeskeygenassist_si128(rk[3], 0x08));
  rk[5] = NextRoundKey(rk[4], _mm_aeskeygenassist_si128(rk[4], 0x10));
  rk[6] = NextRoundKey(rk[5], _mm_aeskeygenassist_si128(rk[5], 0x20));
  rk[7] = NextRoundKey(rk[6], _mm_aeskeygenassist_si128(rk[6], 0x40));
  rk[8] = NextRoundKey(rk[7], _mm_aeskeygenassist_si128(rk[7], 0x80));
  rk[9] = NextRoundKey(rk[8], _mm_aeskeygenassist_si128(rk[8], 0x1b));
  rk[10] = NextRoundKey(rk[9], _mm_aeskeygenassist_si128(rk[9], 0x36));
}

size_t Encrypt(const RoundKeys& keys, const uint8_t* const* in, uint8_t* const* out, size_t count,
               size_t n) {
  const size_t whole = n / 16, tail = n % 16;
  const auto* rk = reinterpret_cast<const __m128i*>(keys.bytes);
  for (size_t first = 0; first < count; first += kMaxChains) {
    const size_t group = count - first < kMaxChains ? count - first : kMaxChains;
    // The final block: the plain tail, then 16 - tail bytes holding that count.
    uint8_t last[kMaxChains][16];
    for (size_t i = 0; i < group; ++i) {
      std::memcpy(last[i], in[first + i] + 16 * whole, tail);
      std::memset(last[i] + tail, static_cast<int>(16 - tail), 16 - tail);
    }
    kChains[group](rk, in + first, out + first, whole, last);
  }
  return 16 * (whole + 1);
}

#else  // no AES-NI on this architecture

bool Available() { return false; }
void ExpandKey(const std::array<uint8_t, 16>&, RoundKeys&) {}
size_t Encrypt(const RoundKeys&, const uint8_t* const*, uint8_t* const*, size_t, size_t n) {
  return 16 * (n / 16 + 1);
}

#endif

}  // namespace qvn::aes_multi_block
