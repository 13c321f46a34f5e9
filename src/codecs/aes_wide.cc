// The 512-bit path (VAES with AVX-512): one instruction runs an AES round on
// four blocks. Encryption interleaves up to 16 chains in four registers (more
// chains keep the AES units no busier but crowd the first-level cache with
// their 16-byte loads and stores);
// CBC decryption needs no interleaving, since every block's plain text
// depends only on cipher blocks, so one buffer is decrypted four blocks to a
// register. Same bytes as the platform cipher; tests compare them.
#include <algorithm>
#include <cstring>

#include "codecs/aes_multi_block.h"
#include "platform/cpu_features.h"

#if defined(__x86_64__) || defined(_M_X64)
#if defined(__GNUC__) && !defined(__clang__)
// GCC 12's AVX-512 intrinsics leave an operand undefined on purpose, then warn.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#define QVN_VAES_TARGET __attribute__((target("aes,sse4.1,avx512f,vaes")))
#endif

namespace qvn::aes_multi_block {

#if defined(QVN_VAES_TARGET)
namespace {

// Four chains' blocks at offset `off` in one register, lane k from src[k].
QVN_VAES_TARGET inline __m512i Gather4(const uint8_t* const* src, size_t off) {
  __m512i v = _mm512_castsi128_si512(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src[0] + off)));
  v = _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[1] + off)), 1);
  v = _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[2] + off)), 2);
  return _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[3] + off)), 3);
}

QVN_VAES_TARGET inline void Scatter4(__m512i v, uint8_t* const* dst, size_t off) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[0] + off), _mm512_castsi512_si128(v));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[1] + off), _mm512_extracti32x4_epi32(v, 1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[2] + off), _mm512_extracti32x4_epi32(v, 2));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[3] + off), _mm512_extracti32x4_epi32(v, 3));
}

// One 16-byte block of each of 4 * G chains: c = E(c ^ src[off]).
template <size_t G>
QVN_VAES_TARGET inline void WideStep(__m512i (&c)[G], const __m512i (&rk)[11],
                                     const uint8_t* const* src, size_t off, uint8_t* const* out,
                                     size_t out_off) {
#pragma GCC unroll 4
  for (size_t g = 0; g < G; ++g)
    c[g] = _mm512_ternarylogic_epi64(c[g], Gather4(src + 4 * g, off), rk[0], 0x96);  // a ^ b ^ c
#pragma GCC unroll 9
  for (int r = 1; r < 10; ++r) {
#pragma GCC unroll 4
    for (size_t g = 0; g < G; ++g) c[g] = _mm512_aesenc_epi128(c[g], rk[r]);
  }
#pragma GCC unroll 4
  for (size_t g = 0; g < G; ++g) {
    c[g] = _mm512_aesenclast_epi128(c[g], rk[10]);
    Scatter4(c[g], out + 4 * g, out_off);
  }
}

template <size_t G>
QVN_VAES_TARGET void WideChains(const RoundKeys& keys, const uint8_t* const* in,
                                uint8_t* const* out, size_t whole, const uint8_t (*last)[16]) {
  const auto* k = reinterpret_cast<const __m128i*>(keys.bytes);
  __m512i rk[11];
  for (int r = 0; r < 11; ++r) rk[r] = _mm512_broadcast_i32x4(_mm_load_si128(k + r));
  __m512i c[G];
  const uint8_t* last_ptr[4 * G];
  for (size_t g = 0; g < G; ++g) c[g] = _mm512_setzero_si512();  // the zero IV
  for (size_t i = 0; i < 4 * G; ++i) last_ptr[i] = last[i];
  for (size_t j = 0; j < whole; ++j) WideStep<G>(c, rk, in, 16 * j, out, 16 * j);
  WideStep<G>(c, rk, last_ptr, 0, out, 16 * whole);
}

using WideFn = void (*)(const RoundKeys&, const uint8_t* const*, uint8_t* const*, size_t,
                        const uint8_t (*)[16]);
constexpr WideFn kWide[kMaxWideChains / 4 + 1] = {nullptr, WideChains<1>, WideChains<2>,
                                                  WideChains<3>, WideChains<4>};

// Decrypts `g` registers of four blocks at `at`; prev holds the cipher
// blocks before each one (the first of a buffer has the zero IV).
template <size_t G>
QVN_VAES_TARGET inline void DecryptRun(const __m512i (&dk)[11], uint8_t* at, const __m512i* prev) {
  __m512i x[G];
#pragma GCC unroll 8
  for (size_t g = 0; g < G; ++g)
    x[g] = _mm512_xor_si512(_mm512_loadu_si512(at + 64 * g), dk[0]);
#pragma GCC unroll 9
  for (int r = 1; r < 10; ++r) {
#pragma GCC unroll 8
    for (size_t g = 0; g < G; ++g) x[g] = _mm512_aesdec_epi128(x[g], dk[r]);
  }
#pragma GCC unroll 8
  for (size_t g = 0; g < G; ++g) {
    x[g] = _mm512_aesdeclast_epi128(x[g], dk[10]);
    _mm512_storeu_si512(at + 64 * g, _mm512_xor_si512(x[g], prev[g]));
  }
}

}  // namespace

bool WideAvailable() { return platform::CpuHasVaes512(); }

QVN_VAES_TARGET void ExpandDecryptKey(const RoundKeys& enc, RoundKeys& dec) {
  const auto* rk = reinterpret_cast<const __m128i*>(enc.bytes);
  auto* dk = reinterpret_cast<__m128i*>(dec.bytes);
  dk[0] = _mm_load_si128(rk + 10);
  for (int r = 1; r < 10; ++r) dk[r] = _mm_aesimc_si128(_mm_load_si128(rk + 10 - r));
  dk[10] = _mm_load_si128(rk);
}

size_t EncryptWide(const RoundKeys& keys, const uint8_t* const* in, uint8_t* const* out,
                   size_t count, size_t n) {
  const size_t whole = n / 16, tail = n % 16;
  size_t first = 0;
  for (; count - first >= 4; ) {
    const size_t group = std::min<size_t>((count - first) / 4 * 4, kMaxWideChains);
    // The final block: the plain tail, then 16 - tail bytes holding that count.
    uint8_t last[kMaxWideChains][16];
    for (size_t i = 0; i < group; ++i) {
      std::memcpy(last[i], in[first + i] + 16 * whole, tail);
      std::memset(last[i] + tail, static_cast<int>(16 - tail), 16 - tail);
    }
    kWide[group / 4](keys, in + first, out + first, whole, last);
    first += group;
  }
  // Fewer than four left: the 128-bit chains.
  if (first < count) Encrypt(keys, in + first, out + first, count - first, n);
  return 16 * (whole + 1);
}

// Last to first, so that every block's predecessor is still cipher text when
// it is read; the 64-byte runs are cut from the end, the odd blocks at the
// front go one register each.
QVN_VAES_TARGET void DecryptWide(const RoundKeys& dec, uint8_t* buf, size_t n) {
  const auto* k = reinterpret_cast<const __m128i*>(dec.bytes);
  __m512i dk[11];
  for (int r = 0; r < 11; ++r) dk[r] = _mm512_broadcast_i32x4(_mm_load_si128(k + r));
  constexpr size_t kRun = 8;  // registers per run: 32 blocks, 512 bytes
  size_t end = n;
  __m512i prev[kRun];
  while (end >= 64 * kRun + 16) {
    uint8_t* at = buf + end - 64 * kRun;
    for (size_t g = 0; g < kRun; ++g) prev[g] = _mm512_loadu_si512(at + 64 * g - 16);
    DecryptRun<kRun>(dk, at, prev);
    end -= 64 * kRun;
  }
  while (end >= 64 + 16) {
    uint8_t* at = buf + end - 64;
    prev[0] = _mm512_loadu_si512(at - 16);
    DecryptRun<1>(dk, at, prev);
    end -= 64;
  }
  // At most four blocks left at the front, the first under the zero IV.
  alignas(64) uint8_t head[80] = {};
  std::memcpy(head + 16, buf, end);
  const size_t blocks = end / 16;
  // Past the buffer's blocks the lanes decrypt zeros and are not copied back.
  prev[0] = _mm512_loadu_si512(head);
  DecryptRun<1>(dk, head + 16, prev);
  std::memcpy(buf, head + 16, 16 * blocks);
  // The head held cipher and plain bytes of the caller's buffer.
  volatile uint8_t* wipe = head;
  for (size_t i = 0; i < sizeof head; ++i) wipe[i] = 0;
}

#else  // no 512-bit AES on this architecture

bool WideAvailable() { return false; }
void ExpandDecryptKey(const RoundKeys&, RoundKeys&) {}
size_t EncryptWide(const RoundKeys&, const uint8_t* const*, uint8_t* const*, size_t, size_t n) {
  return 16 * (n / 16 + 1);
}
void DecryptWide(const RoundKeys&, uint8_t*, size_t) {}

#endif

}  // namespace qvn::aes_multi_block
