// Linux file names are bytes; the library's names are UTF-16 text, passed to
// the system as UTF-8.
#ifndef QVN_PLATFORM_NATIVE_PATH_POSIX_H_
#define QVN_PLATFORM_NATIVE_PATH_POSIX_H_

#include <string>

#include "base/text.h"

namespace qvn::platform {

// The UTF-8 path for `name`. A lone surrogate has no UTF-8 form: rather than
// stand in U+FFFD for it, and so name another file, such a name raises
// PlatformError (EILSEQ).
std::string NativePath(const Text& name);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_NATIVE_PATH_POSIX_H_
