#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/debug_output.h"

namespace qvn::platform {

bool DebugRequestedByEnvironment() {
  const char* value = std::getenv("QVN_DEBUG");
  return value != nullptr && value[0] != 0 && std::strcmp(value, "0") != 0;
}

void WriteDebugLine(const std::string& line) {
  const std::string whole = line + "\n";
  // One write per line, so lines of several threads do not interleave.
  std::fwrite(whole.data(), 1, whole.size(), stderr);
}

}  // namespace qvn::platform
