// Where the running program's executable is: /proc/self/exe on Linux,
// GetModuleFileNameW on Windows; and of the library that holds some code.
#ifndef QVN_PLATFORM_EXECUTABLE_PATH_H_
#define QVN_PLATFORM_EXECUTABLE_PATH_H_

#include "base/text.h"

namespace qvn::platform {

// Full path of the current process's executable; raises PlatformError.
Text ExecutablePath();

// Full path of the loaded library (or program) that holds `address`, links
// resolved; empty when the system does not say.
Text ModulePathOf(const void* address);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_EXECUTABLE_PATH_H_
