// Text encryption (UTF-16LE text -> AES -> Base64) and the MD5 digest text.
#ifndef QVN_CODECS_TEXT_CRYPTO_H_
#define QVN_CODECS_TEXT_CRYPTO_H_

#include "base/text.h"

namespace qvn {

// All four raise AssertionFailure for an empty key, even for empty text.
Text EncryptText(const Text& key, const Text& text);
Text DecryptText(const Text& key, const Text& encrypted);
// EncryptText(outer, EncryptText(inner, text)); the outer layer comes off first.
Text EncryptTextTwice(const Text& inner, const Text& outer, const Text& text);
Text DecryptTextTwice(const Text& inner, const Text& outer, const Text& encrypted);
// The same, releasing `encrypted` as soon as it is decoded: a large reply is
// then never alive next to all of its decrypted copies.
Text DecryptText(const Text& key, Text&& encrypted);
Text DecryptTextTwice(const Text& inner, const Text& outer, Text&& encrypted);

// 32 upper-case hex digits of MD5 over one byte per code unit ('?' above U+007F).
Text Md5Hex(const Text& text);

}  // namespace qvn

#endif  // QVN_CODECS_TEXT_CRYPTO_H_
