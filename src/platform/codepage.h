// Conversion between text and the system's ANSI code page, the code page the
// packed texts of the server are written in.
#ifndef QVN_PLATFORM_CODEPAGE_H_
#define QVN_PLATFORM_CODEPAGE_H_

#include <cstddef>
#include <cstdint>

#include "base/text.h"

namespace qvn::platform {

// Characters the code page cannot represent become the system's best-fit
// character or '?', as the system's own conversion does.
Bytes TextToSystemCodePage(TextView text);

// Has no failure case: every byte sequence gives some text.
Text SystemCodePageToText(const uint8_t* bytes, size_t size);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_CODEPAGE_H_
