// The platform's digests and AES-128-CBC: OpenSSL's libcrypto on Linux, the
// CryptoAPI (advapi32) on Windows. The library keeps no cipher tables of its
// own; both services must give the server's bytes exactly.
#ifndef QVN_PLATFORM_CRYPTO_H_
#define QVN_PLATFORM_CRYPTO_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace qvn::platform {

// Both raise PlatformError when the service fails.
std::array<uint8_t, 32> Sha256(const uint8_t* data, size_t n);
std::array<uint8_t, 16> Md5(const uint8_t* data, size_t n);

// An AES-128 key in CBC mode with an all-zero IV and PKCS#7 padding, derived
// from key material as the first 16 bytes of its SHA-256 digest. Every call
// starts a new chain, so one key serves any number of independent buffers.
// Raises PlatformError when the service, the hash or the key cannot be made;
// whatever was obtained is released again. Key material is wiped on release.
class AesKey {
 public:
  AesKey(const uint8_t* material, size_t n);
  ~AesKey();
  AesKey(const AesKey&) = delete;
  AesKey& operator=(const AesKey&) = delete;

  // Encrypts buf[0, n), n >= 1, in place with padding; buf has room for
  // n + 16 bytes. Returns the cipher length (a multiple of 16, n < m <= n+16).
  size_t Encrypt(uint8_t* buf, size_t n);
  // Decrypts buf[0, n) in place; n is a positive multiple of 16. Returns the
  // length with the padding removed. When the padding check fails the whole
  // buffer has been decrypted and n is returned (padding left in place).
  size_t Decrypt(uint8_t* buf, size_t n);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_CRYPTO_H_
