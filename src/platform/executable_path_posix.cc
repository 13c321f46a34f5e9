#include "platform/executable_path.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/errors.h"

namespace qvn::platform {

Text ExecutablePath() {
  std::vector<char> buf(256);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) throw PlatformError("readlink(/proc/self/exe) failed", static_cast<uint32_t>(errno));
    if (static_cast<size_t>(n) < buf.size()) return Utf8ToText(std::string_view(buf.data(), n));
    buf.resize(buf.size() * 2);
  }
}

}  // namespace qvn::platform
