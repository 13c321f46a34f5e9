#include "codecs/aes.h"

#include <algorithm>
#include <cstring>

#include "base/bytes.h"
#include "base/errors.h"
#include "platform/crypto.h"

namespace qvn {
namespace {

void RequireKeyText(const Text& key_text) {
  if (key_text.empty()) throw AssertionFailure();
}

// Wipes a buffer that held key material or plain text before it goes.
void Wipe(Bytes& bytes) {
  volatile uint8_t* p = bytes.data();
  for (size_t i = 0; i < bytes.size(); ++i) p[i] = 0;
}

}  // namespace

std::array<uint8_t, 16> DeriveAesKey(const Text& key_text) {
  RequireKeyText(key_text);
  Bytes material = TextToBytes(key_text);
  std::array<uint8_t, 32> digest = platform::Sha256(material.data(), material.size());
  Wipe(material);
  std::array<uint8_t, 16> key{};
  std::copy(digest.begin(), digest.begin() + 16, key.begin());
  volatile uint8_t* d = digest.data();
  for (size_t i = 0; i < digest.size(); ++i) d[i] = 0;
  return key;
}

struct AesCipher::Impl {
  explicit Impl(Bytes material) : key(material.data(), material.size()) { Wipe(material); }
  platform::AesKey key;
};

AesCipher::AesCipher(const Text& key_text) {
  RequireKeyText(key_text);
  impl_ = std::make_unique<Impl>(TextToBytes(key_text));
}

AesCipher::~AesCipher() = default;

size_t AesCipher::EncryptInPlace(uint8_t* buf, size_t n) {
  if (n == 0) return 0;  // an empty buffer gets no padding block
  return impl_->key.Encrypt(buf, n);
}

size_t AesCipher::DecryptInPlace(uint8_t* buf, size_t n) {
  // A length that is not whole blocks is refused by the Windows provider
  // before it touches the buffer; the same happens here on every platform.
  if (n == 0 || n % 16 != 0) return n;
  return std::min(impl_->key.Decrypt(buf, n), n);
}

Bytes AesEncryptBytes(const Bytes& plain, const Text& key_text) {
  RequireKeyText(key_text);
  if (plain.empty()) return {};
  AesCipher cipher(key_text);
  // Room for the largest padding after the plain bytes.
  Bytes work(plain);
  work.resize(plain.size() + 16);
  work.resize(cipher.EncryptInPlace(work.data(), plain.size()));
  return work;
}

Bytes AesDecryptBytes(const Bytes& cipher_bytes, const Text& key_text) {
  RequireKeyText(key_text);
  AesCipher cipher(key_text);
  Bytes work(cipher_bytes);
  work.resize(cipher.DecryptInPlace(work.data(), work.size()));
  return work;
}

}  // namespace qvn
