#include "codecs/aes.h"

#include <algorithm>
#include <cstring>

#include "base/bytes.h"
#include "base/errors.h"
#include "codecs/aes_multi_block.h"
#include "platform/crypto.h"

namespace qvn {
static_assert(AesCipher::kInterleavedBuffers == aes_multi_block::kMaxWideChains);

namespace {

void RequireKeyText(const Text& key_text) {
  if (key_text.empty()) throw AssertionFailure();
}

// Wipes a buffer that held key material or plain text before it goes.
void Wipe(uint8_t* data, size_t n) {
  volatile uint8_t* p = data;
  for (size_t i = 0; i < n; ++i) p[i] = 0;
}
template <typename Buffer>
void Wipe(Buffer& bytes) {
  Wipe(bytes.data(), bytes.size());
}

// The leading 16 bytes of the material's SHA-256 digest.
std::array<uint8_t, 16> KeyOfMaterial(const Bytes& material) {
  std::array<uint8_t, 32> digest = platform::Sha256(material.data(), material.size());
  std::array<uint8_t, 16> key{};
  std::copy(digest.begin(), digest.begin() + 16, key.begin());
  Wipe(digest);
  return key;
}

// n less valid PKCS#7 padding (1 to 16 bytes, each holding the count), or n
// when the last block does not end in such padding, as the platform does.
size_t PlainLength(const uint8_t* buf, size_t n) {
  const uint8_t pad = buf[n - 1];
  if (pad == 0 || pad > 16) return n;
  for (size_t i = n - pad; i < n; ++i) {
    if (buf[i] != pad) return n;
  }
  return n - pad;
}

}  // namespace

std::array<uint8_t, 16> DeriveAesKey(const Text& key_text) {
  RequireKeyText(key_text);
  Bytes material = TextToBytes(key_text);
  std::array<uint8_t, 16> key = KeyOfMaterial(material);
  Wipe(material);
  return key;
}

struct AesCipher::Impl {
  explicit Impl(Bytes material_in)
      : material(std::move(material_in)), key(material.data(), material.size()) {}
  ~Impl() {
    Wipe(material);
    Wipe(schedule.bytes, sizeof schedule.bytes);
    Wipe(decrypt_schedule.bytes, sizeof decrypt_schedule.bytes);
  }

  // The AES-NI key schedule, made on the first batch (most ciphers only ever
  // see one buffer and never need it).
  const aes_multi_block::RoundKeys& Schedule() {
    if (!has_schedule) {
      std::array<uint8_t, 16> k = KeyOfMaterial(material);
      aes_multi_block::ExpandKey(k, schedule);
      Wipe(k);
      has_schedule = true;
    }
    return schedule;
  }
  const aes_multi_block::RoundKeys& DecryptSchedule() {
    if (!has_decrypt_schedule) {
      aes_multi_block::ExpandDecryptKey(Schedule(), decrypt_schedule);
      has_decrypt_schedule = true;
    }
    return decrypt_schedule;
  }

  Bytes material;  // the key text's bytes, kept for the schedule
  platform::AesKey key;
  aes_multi_block::RoundKeys schedule{};
  aes_multi_block::RoundKeys decrypt_schedule{};
  bool has_schedule = false;
  bool has_decrypt_schedule = false;
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

size_t AesCipher::EncryptBlocks(const uint8_t* const* in, uint8_t* const* out, size_t count,
                                size_t n) {
  if (n == 0) return 0;
  if (aes_multi_block::WideAvailable())
    return aes_multi_block::EncryptWide(impl_->Schedule(), in, out, count, n);
  if (aes_multi_block::Available())
    return aes_multi_block::Encrypt(impl_->Schedule(), in, out, count, n);
  size_t m = 0;
  for (size_t i = 0; i < count; ++i) {
    if (out[i] != in[i]) std::memcpy(out[i], in[i], n);
    m = impl_->key.Encrypt(out[i], n);
  }
  return m;
}

size_t AesCipher::DecryptInPlace(uint8_t* buf, size_t n) {
  // A length that is not whole blocks is refused by the Windows provider
  // before it touches the buffer; the same happens here on every platform.
  if (n == 0 || n % 16 != 0) return n;
  // Small buffers (requests, answers) are not worth a schedule of their own.
  if (n < 1024 || !aes_multi_block::WideAvailable()) return std::min(impl_->key.Decrypt(buf, n), n);
  aes_multi_block::DecryptWide(impl_->DecryptSchedule(), buf, n);
  return PlainLength(buf, n);
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
