#include <cstdlib>

#include "platform/environment.h"

namespace qvn::platform {

std::string EnvironmentValue(const char* name) { return FindEnvironmentValue(name).value_or(""); }

std::optional<std::string> FindEnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void SetEnvironmentValue(const char* name, const std::string& value) {
  ::setenv(name, value.c_str(), 1);
}

}  // namespace qvn::platform
