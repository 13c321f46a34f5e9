#include "codecs/text_crypto.h"

#include "base/bytes.h"
#include "base/errors.h"
#include "codecs/aes.h"
#include "codecs/base64.h"
#include "platform/crypto.h"

namespace qvn {
namespace {

}  // namespace

Text EncryptText(const Text& key, const Text& text) {
  if (key.empty()) throw AssertionFailure();
  if (text.empty()) return {};
  return Base64EncodeBytes(AesEncryptBytes(TextToBytes(text), key));
}

Text DecryptText(const Text& key, const Text& encrypted) {
  if (key.empty()) throw AssertionFailure();
  if (encrypted.empty()) return {};
  return BytesToText(AesDecryptBytes(Base64DecodeBytes(encrypted), key));
}

Text DecryptText(const Text& key, Text&& encrypted) {
  if (key.empty()) throw AssertionFailure();
  if (encrypted.empty()) return {};
  Bytes cipher = Base64DecodeBytes(encrypted);
  Text().swap(encrypted);
  Bytes plain = AesDecryptBytes(cipher, key);
  Bytes().swap(cipher);
  return BytesToText(plain);
}

Text DecryptTextTwice(const Text& inner, const Text& outer, Text&& encrypted) {
  if (inner.empty() || outer.empty()) throw AssertionFailure();
  return DecryptText(inner, DecryptText(outer, std::move(encrypted)));
}

Text EncryptTextTwice(const Text& inner, const Text& outer, const Text& text) {
  if (inner.empty() || outer.empty()) throw AssertionFailure();
  return EncryptText(outer, EncryptText(inner, text));
}

Text DecryptTextTwice(const Text& inner, const Text& outer, const Text& encrypted) {
  if (inner.empty() || outer.empty()) throw AssertionFailure();
  return DecryptText(inner, DecryptText(outer, encrypted));
}

Text Md5Hex(const Text& text) {
  Bytes narrow(text.size());
  for (size_t i = 0; i < text.size(); ++i)
    narrow[i] = text[i] < 0x80 ? static_cast<uint8_t>(text[i]) : uint8_t{'?'};
  std::array<uint8_t, 16> digest = platform::Md5(narrow.data(), narrow.size());
  static const char kHex[] = "0123456789ABCDEF";
  Text out;
  out.reserve(32);
  for (uint8_t b : digest) {
    out += static_cast<char16_t>(kHex[b >> 4]);
    out += static_cast<char16_t>(kHex[b & 0x0F]);
  }
  return out;
}

}  // namespace qvn
