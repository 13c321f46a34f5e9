// The process's environment variables, the only configuration the library
// reads (QVN_DEBUG, QVN_NO_AESNI, the time-outs), each once per process.
#ifndef QVN_PLATFORM_ENVIRONMENT_H_
#define QVN_PLATFORM_ENVIRONMENT_H_

#include <string>

namespace qvn::platform {

// The value of `name` in UTF-8; empty when unset. Windows reads the process's
// environment block, not a C runtime's copy of it, so a host that set the
// variable with SetEnvironmentVariableW is seen.
std::string EnvironmentValue(const char* name);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_ENVIRONMENT_H_
