// The process's environment variables, the only configuration the library
// reads (QVN_DEBUG, QVN_NO_AESNI, the time-outs), each once per process.
#ifndef QVN_PLATFORM_ENVIRONMENT_H_
#define QVN_PLATFORM_ENVIRONMENT_H_

#include <optional>
#include <string>

namespace qvn::platform {

// The value of `name` in UTF-8; empty when unset. Windows reads the process's
// environment block, not a C runtime's copy of it, so a host that set the
// variable with SetEnvironmentVariableW is seen.
std::string EnvironmentValue(const char* name);

// The same, with an unset variable told apart from an empty one.
std::optional<std::string> FindEnvironmentValue(const char* name);

// Sets `name` for this process and the programs it starts (Windows: in the
// process's environment block, where EnvironmentValue reads it).
void SetEnvironmentValue(const char* name, const std::string& value);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_ENVIRONMENT_H_
