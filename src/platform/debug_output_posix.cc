#include <cstdio>
#include <cstring>

#include "platform/debug_output.h"

namespace qvn::platform {

void WriteDebugLine(const std::string& line) {
  const std::string whole = line + "\n";
  // One write per line, so lines of several threads do not interleave.
  std::fwrite(whole.data(), 1, whole.size(), stderr);
}

std::string SystemErrorText(uint32_t code) {
  std::string text = "error " + std::to_string(code);
  // Codes of other services (libcrypto's packed codes) are no errno values.
  if (code < 4096) text = std::string(std::strerror(static_cast<int>(code))) + " (" + text + ")";
  return text;
}

}  // namespace qvn::platform
