// Where the running program's executable is: /proc/self/exe on Linux,
// GetModuleFileNameW on Windows.
#ifndef QVN_PLATFORM_EXECUTABLE_PATH_H_
#define QVN_PLATFORM_EXECUTABLE_PATH_H_

#include "base/text.h"

namespace qvn::platform {

// Full path of the current process's executable; raises PlatformError.
Text ExecutablePath();

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_EXECUTABLE_PATH_H_
