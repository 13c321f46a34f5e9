// RFC 4648 Base64 as the server writes it: '=' fill, no line breaks. Decoding
// skips nothing and reads only whole groups of four characters.
#ifndef QVN_CODECS_BASE64_H_
#define QVN_CODECS_BASE64_H_

#include "base/text.h"

namespace qvn {

Text Base64EncodeText(const Text& text);          // of the text's UTF-16LE bytes
Text Base64DecodeText(const Text& base64);        // odd final byte dropped
Text Base64EncodeBytes(const Bytes& bytes);       // odd final byte dropped
Bytes Base64DecodeBytes(const Text& base64);      // odd final byte dropped

}  // namespace qvn

#endif  // QVN_CODECS_BASE64_H_
