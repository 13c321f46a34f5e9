// AES-128-CBC with a zero IV and PKCS#7 padding, keyed by the first 16 bytes of
// SHA-256 over a key text's UTF-16LE code units. The server decrypts what we
// encrypt, so these bytes must match it exactly.
#ifndef QVN_CODECS_AES_H_
#define QVN_CODECS_AES_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/text.h"

namespace qvn {

// 16-byte key of a key text. Raises AssertionFailure for an empty key text.
std::array<uint8_t, 16> DeriveAesKey(const Text& key_text);

// n >= 1 plain bytes give 16 * (n / 16 + 1) cipher bytes; empty stays empty.
// Both raise AssertionFailure for an empty key text, before anything else.
Bytes AesEncryptBytes(const Bytes& plain, const Text& key_text);
// A failed padding check raises nothing, and both platforms leave the same:
//  - a length that is a positive multiple of 16 is decrypted in full; when
//    its last block does not end in valid PKCS#7 padding (1..16 bytes, each
//    holding the count) all n decrypted bytes come back, padding included;
//  - any other length comes back as it was, not decrypted (the Windows
//    provider refuses it before touching the buffer).
// The result is never longer than the input. Under a wrong key it is the
// decryption under that key, never the true plain text.
Bytes AesDecryptBytes(const Bytes& cipher, const Text& key_text);

// One key text, derived once, for many buffers (the file transfer encrypts
// thousands of blocks under one key). Same bytes as the one-shot functions.
// Key material is wiped when the object goes.
class AesCipher {
 public:
  // EncryptBlocks runs this many buffers side by side at most: batches of it
  // keep the widest cipher path busy.
  static constexpr size_t kInterleavedBuffers = 16;

  explicit AesCipher(const Text& key_text);  // AssertionFailure when empty
  ~AesCipher();
  AesCipher(const AesCipher&) = delete;
  AesCipher& operator=(const AesCipher&) = delete;

  // Encrypts buf[0, n) in place as one final CBC block chain; buf must have
  // room for n + 16 bytes. Returns the cipher length (0 for n == 0).
  size_t EncryptInPlace(uint8_t* buf, size_t n);
  // Encrypts count independent buffers of n >= 1 plain bytes each, in[i]
  // into out[i] (the same buffer, or one with room for n + 16 bytes), each as
  // a chain of its own: the bytes EncryptInPlace gives for each. Returns the
  // cipher length of one. Interleaves the chains with AES-NI when the
  // processor has it; the platform cipher does them one by one otherwise.
  size_t EncryptBlocks(const uint8_t* const* in, uint8_t* const* out, size_t count, size_t n);
  // Decrypts buf[0, n) in place; returns the plain length (padding removed,
  // or n when the padding check fails, as for AesDecryptBytes).
  size_t DecryptInPlace(uint8_t* buf, size_t n);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qvn

#endif  // QVN_CODECS_AES_H_
