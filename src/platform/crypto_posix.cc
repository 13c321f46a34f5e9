#include "platform/crypto.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>

#include <algorithm>
#include <climits>
#include <string>

#include "base/errors.h"
#include "platform/fault_injection.h"

namespace qvn::platform {
namespace {

[[noreturn]] void RaiseOpenSsl(const char* what) {
  unsigned long code = ERR_get_error();
  ERR_clear_error();
  throw PlatformError(std::string("libcrypto: ") + what, static_cast<uint32_t>(code));
}

// Fetched once per process: fetching on every call would cost more than
// hashing a short key text.
const EVP_MD* FetchedDigest(const char* name) {
  EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
  if (md == nullptr) RaiseOpenSsl("EVP_MD_fetch");
  return md;
}

// Never freed: a transfer thread may still hash while the process exits.
const EVP_MD* Sha256Md() {
  static const EVP_MD* const md = FetchedDigest("SHA256");
  return md;
}

const EVP_MD* Md5Md() {
  static const EVP_MD* const md = FetchedDigest("MD5");
  return md;
}

template <size_t N>
std::array<uint8_t, N> Digest(const EVP_MD* md, const uint8_t* data, size_t n) {
  std::array<uint8_t, N> out{};
  unsigned int len = 0;
  static const uint8_t kNothing = 0;
  if (fault::Injected(fault::Op::kCipher) ||
      EVP_Digest(n ? data : &kNothing, n, out.data(), &len, md, nullptr) != 1 || len != N)
    RaiseOpenSsl("EVP_Digest");
  return out;
}

struct CtxFree {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CtxFree>;

const uint8_t kZeroIv[16] = {};

// EVP counts in int; whole blocks keep every chunk but the last free of
// buffered partial blocks, so in-place chunking stays exact.
constexpr size_t kChunk = (size_t{INT_MAX} / 16) * 16;

}  // namespace

std::array<uint8_t, 32> Sha256(const uint8_t* data, size_t n) {
  return Digest<32>(Sha256Md(), data, n);
}

std::array<uint8_t, 16> Md5(const uint8_t* data, size_t n) {
  return Digest<16>(Md5Md(), data, n);
}

struct AesKey::Impl {
  uint8_t key[16] = {};
  // Direction is fixed by the key schedule, so each has its own context,
  // made on first use and afterwards only re-armed with the zero IV.
  CipherCtx enc;
  CipherCtx dec;

  ~Impl() { OPENSSL_cleanse(key, sizeof key); }

  EVP_CIPHER_CTX* Arm(CipherCtx& ctx, bool encrypt) {
    if (!ctx) {
      ctx.reset(EVP_CIPHER_CTX_new());
      if (!ctx) RaiseOpenSsl("EVP_CIPHER_CTX_new");
      int ok = encrypt ? EVP_EncryptInit_ex2(ctx.get(), EVP_aes_128_cbc(), key, kZeroIv, nullptr)
                       : EVP_DecryptInit_ex2(ctx.get(), EVP_aes_128_cbc(), key, kZeroIv, nullptr);
      if (ok != 1) {
        ctx.reset();
        RaiseOpenSsl("cipher init");
      }
    } else {
      int ok = encrypt ? EVP_EncryptInit_ex2(ctx.get(), nullptr, nullptr, kZeroIv, nullptr)
                       : EVP_DecryptInit_ex2(ctx.get(), nullptr, nullptr, kZeroIv, nullptr);
      if (ok != 1) RaiseOpenSsl("cipher reset");
    }
    // Decryption removes the padding itself so that a failed check leaves a
    // defined result (see Decrypt).
    if (!encrypt && EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1) RaiseOpenSsl("set_padding");
    return ctx.get();
  }
};

AesKey::AesKey(const uint8_t* material, size_t n) : impl_(std::make_unique<Impl>()) {
  std::array<uint8_t, 32> digest = Sha256(material, n);
  std::copy(digest.begin(), digest.begin() + 16, impl_->key);
  OPENSSL_cleanse(digest.data(), digest.size());
}

AesKey::~AesKey() = default;

size_t AesKey::Encrypt(uint8_t* buf, size_t n) {
  if (fault::Injected(fault::Op::kCipher)) RaiseOpenSsl("EVP_EncryptUpdate");
  EVP_CIPHER_CTX* ctx = impl_->Arm(impl_->enc, true);
  size_t done = 0, written = 0;  // written == done whenever a chunk starts
  while (done < n) {
    size_t part = std::min(n - done, kChunk);
    int out = 0;
    if (EVP_EncryptUpdate(ctx, buf + written, &out, buf + done, static_cast<int>(part)) != 1)
      RaiseOpenSsl("EVP_EncryptUpdate");
    done += part;
    written += static_cast<size_t>(out);
  }
  int last = 0;
  if (EVP_EncryptFinal_ex(ctx, buf + written, &last) != 1) RaiseOpenSsl("EVP_EncryptFinal_ex");
  return written + static_cast<size_t>(last);
}

size_t AesKey::Decrypt(uint8_t* buf, size_t n) {
  if (fault::Injected(fault::Op::kCipher)) RaiseOpenSsl("EVP_DecryptUpdate");
  EVP_CIPHER_CTX* ctx = impl_->Arm(impl_->dec, false);
  for (size_t done = 0; done < n;) {
    size_t part = std::min(n - done, kChunk);
    int out = 0;
    if (EVP_DecryptUpdate(ctx, buf + done, &out, buf + done, static_cast<int>(part)) != 1)
      RaiseOpenSsl("EVP_DecryptUpdate");
    done += part;
  }
  int last = 0;
  uint8_t spare[16];
  if (EVP_DecryptFinal_ex(ctx, spare, &last) != 1) RaiseOpenSsl("EVP_DecryptFinal_ex");
  // PKCS#7 check as the Windows provider makes it: 1..16 bytes all holding
  // their count. On failure everything stays, padding included.
  uint8_t pad = buf[n - 1];
  if (pad == 0 || pad > 16 || pad > n) return n;
  for (size_t i = 1; i <= pad; ++i)
    if (buf[n - i] != pad) return n;
  return n - pad;
}

}  // namespace qvn::platform
