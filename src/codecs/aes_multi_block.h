// AES-128-CBC with AES-NI for the file port's blocks. One CBC chain is serial
// (each block waits for the one before), but chains that start afresh, like
// the file port's blocks, can share the AES unit: eight interleaved chains
// keep it busy where one leaves it mostly idle, and with VAES and AVX-512 up
// to 16 chains run four to a register. Same bytes as the platform cipher
// (zero IV, PKCS#7 padding); AesCipher takes the widest path the processor
// has and falls back to the platform otherwise.
#ifndef QVN_CODECS_AES_MULTI_BLOCK_H_
#define QVN_CODECS_AES_MULTI_BLOCK_H_

#include <array>
#include <cstddef>
#include <cstdint>

namespace qvn::aes_multi_block {

inline constexpr size_t kMaxChains = 8;
inline constexpr size_t kMaxWideChains = 16;

struct RoundKeys {
  alignas(16) uint8_t bytes[11 * 16];
};

// The processor has AES-NI; nothing below may be called otherwise.
bool Available();

// The processor has VAES and AVX-512 too, and the system saves their
// registers; the *Wide calls below need it.
bool WideAvailable();

// The encryption key schedule of a 16-byte key.
void ExpandKey(const std::array<uint8_t, 16>& key, RoundKeys& out);

// Encrypts count buffers of n >= 1 plain bytes each, in[i] into out[i] (the
// same buffer or one with room for n + 16 bytes), each as one final chain
// with padding. Returns the cipher length of each, 16 * (n / 16 + 1).
size_t Encrypt(const RoundKeys& keys, const uint8_t* const* in, uint8_t* const* out, size_t count,
               size_t n);
// The same bytes as Encrypt, 16 chains at a time.
size_t EncryptWide(const RoundKeys& keys, const uint8_t* const* in, uint8_t* const* out,
                   size_t count, size_t n);

// The decryption schedule (the equivalent inverse cipher's) of an
// encryption schedule.
void ExpandDecryptKey(const RoundKeys& enc, RoundKeys& dec);
// Decrypts buf[0, n), n a multiple of 16, in place as one CBC chain under the
// zero IV; the padding stays for the caller to check.
void DecryptWide(const RoundKeys& dec, uint8_t* buf, size_t n);

}  // namespace qvn::aes_multi_block

#endif  // QVN_CODECS_AES_MULTI_BLOCK_H_
