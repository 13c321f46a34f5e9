#include "platform/debug_output.h"

#include <cstdio>

namespace qvn::platform {

void WriteDebugLine(const std::string& line) {
  const std::string whole = line + "\n";
  // One write per line, so lines of several threads do not interleave.
  std::fwrite(whole.data(), 1, whole.size(), stderr);
}

}  // namespace qvn::platform
