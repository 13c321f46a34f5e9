#include <cstdlib>

#include "platform/environment.h"

namespace qvn::platform {

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace qvn::platform
