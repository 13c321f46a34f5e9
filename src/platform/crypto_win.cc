#include "platform/crypto.h"

#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "base/errors.h"
#include "platform/fault_injection.h"

namespace qvn::platform {
namespace {

[[noreturn]] void RaiseLastError(const char* what) {
  throw PlatformError(std::string("CryptoAPI: ") + what, static_cast<uint32_t>(GetLastError()));
}

// The default key container of PROV_RSA_AES; a user who never had one gets
// it made on first use.
class Provider {
 public:
  Provider() {
    // Only session keys are used: no key container in the user's profile,
    // which a service without a loaded profile does not have.
    if (CryptAcquireContextW(&handle_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
      return;
    RaiseLastError("CryptAcquireContextW");
  }
  ~Provider() {
    if (handle_) CryptReleaseContext(handle_, 0);
  }
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;
  HCRYPTPROV get() const { return handle_; }

 private:
  HCRYPTPROV handle_ = 0;
};

class Hash {
 public:
  Hash(const Provider& provider, ALG_ID alg, const uint8_t* data, size_t n) {
    if (!CryptCreateHash(provider.get(), alg, 0, 0, &handle_)) RaiseLastError("CryptCreateHash");
    // CryptHashData counts in DWORD.
    do {
      DWORD part = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
      if (!CryptHashData(handle_, data, part, 0)) RaiseLastError("CryptHashData");
      data += part;
      n -= part;
    } while (n > 0);
  }
  ~Hash() {
    if (handle_) CryptDestroyHash(handle_);
  }
  Hash(const Hash&) = delete;
  Hash& operator=(const Hash&) = delete;
  HCRYPTHASH get() const { return handle_; }

  template <size_t N>
  std::array<uint8_t, N> Value() const {
    std::array<uint8_t, N> out{};
    DWORD len = N;
    if (!CryptGetHashParam(handle_, HP_HASHVAL, out.data(), &len, 0) || len != N)
      RaiseLastError("CryptGetHashParam");
    return out;
  }

 private:
  HCRYPTHASH handle_ = 0;
};

template <size_t N>
std::array<uint8_t, N> Digest(ALG_ID alg, const uint8_t* data, size_t n) {
  Provider provider;
  static const uint8_t kNothing = 0;
  Hash hash(provider, alg, n ? data : &kNothing, n);
  return hash.template Value<N>();
}

}  // namespace

std::array<uint8_t, 32> Sha256(const uint8_t* data, size_t n) {
  return Digest<32>(CALG_SHA_256, data, n);
}

std::array<uint8_t, 16> Md5(const uint8_t* data, size_t n) {
  return Digest<16>(CALG_MD5, data, n);
}

// Member order matters: the key goes before the provider that made it.
struct AesKey::Impl {
  Provider provider;
  HCRYPTKEY key = 0;

  ~Impl() {
    if (key) CryptDestroyKey(key);  // the provider wipes the key material
  }
};

AesKey::AesKey(const uint8_t* material, size_t n) : impl_(std::make_unique<Impl>()) {
  {
    static const uint8_t kNothing = 0;
    Hash hash(impl_->provider, CALG_SHA_256, n ? material : &kNothing, n);
    if (fault::Injected(fault::Op::kCipher) ||
        !CryptDeriveKey(impl_->provider.get(), CALG_AES_128, hash.get(), 0, &impl_->key))
      RaiseLastError("CryptDeriveKey");
  }  // CryptDestroyHash
  DWORD mode = CRYPT_MODE_CBC;
  if (!CryptSetKeyParam(impl_->key, KP_MODE, reinterpret_cast<BYTE*>(&mode), 0))
    RaiseLastError("CryptSetKeyParam(KP_MODE)");
}

AesKey::~AesKey() = default;

size_t AesKey::Encrypt(uint8_t* buf, size_t n) {
  if (n > MAXDWORD - 16) {
    SetLastError(ERROR_ARITHMETIC_OVERFLOW);
    RaiseLastError("CryptEncrypt");
  }
  DWORD len = static_cast<DWORD>(n);
  if (fault::Injected(fault::Op::kCipher) ||
      !CryptEncrypt(impl_->key, 0, TRUE, 0, buf, &len, static_cast<DWORD>(n + 16)))
    RaiseLastError("CryptEncrypt");
  return len;
}

size_t AesKey::Decrypt(uint8_t* buf, size_t n) {
  if (n > MAXDWORD) return n;  // nothing the server sends; left as it is
  DWORD len = static_cast<DWORD>(n);
  if (!CryptDecrypt(impl_->key, 0, TRUE, 0, buf, &len)) {
    // A failed padding check is not an error here. Start the next buffer of
    // this key from the zero IV, whatever state the provider kept.
    static const BYTE kZeroIv[16] = {};
    CryptSetKeyParam(impl_->key, KP_IV, kZeroIv, 0);
    return n;
  }
  return len <= n ? len : n;
}

}  // namespace qvn::platform
