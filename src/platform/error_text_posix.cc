#include "platform/error_text.h"

#include <cerrno>
#include <cstring>

namespace qvn::platform {

std::string SystemErrorText(uint32_t code) {
  std::string text = "error " + std::to_string(code);
  // Codes of other services (libcrypto's packed codes) are no errno values.
  if (code < 4096) text = std::string(std::strerror(static_cast<int>(code))) + " (" + text + ")";
  return text;
}

bool IsAccessDenied(uint32_t code) { return code == EACCES || code == EPERM; }

}  // namespace qvn::platform
