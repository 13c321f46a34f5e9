// AES-128-CBC encryption of up to eight independent buffers at once with
// AES-NI. One CBC chain is serial (each block waits for the one before), but
// chains that start afresh, like the file port's blocks, can share the AES
// unit: eight interleaved chains keep it busy where one leaves it mostly idle.
// Same bytes as the platform cipher (zero IV, PKCS#7 padding); AesCipher uses
// it when the processor has AES-NI and falls back to the platform otherwise.
#ifndef QVN_CODECS_AES_MULTI_BLOCK_H_
#define QVN_CODECS_AES_MULTI_BLOCK_H_

#include <array>
#include <cstddef>
#include <cstdint>

namespace qvn::aes_multi_block {

inline constexpr size_t kMaxChains = 8;

struct RoundKeys {
  alignas(16) uint8_t bytes[11 * 16];
};

// The processor has AES-NI; nothing below may be called otherwise.
bool Available();

// The encryption key schedule of a 16-byte key.
void ExpandKey(const std::array<uint8_t, 16>& key, RoundKeys& out);

// Encrypts count buffers of n >= 1 plain bytes each, in[i] into out[i] (the
// same buffer or one with room for n + 16 bytes), each as one final chain
// with padding. Returns the cipher length of each, 16 * (n / 16 + 1).
size_t Encrypt(const RoundKeys& keys, const uint8_t* const* in, uint8_t* const* out, size_t count,
               size_t n);

}  // namespace qvn::aes_multi_block

#endif  // QVN_CODECS_AES_MULTI_BLOCK_H_
