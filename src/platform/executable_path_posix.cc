#include "platform/executable_path.h"

#include <dlfcn.h>
#include <limits.h>
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

Text ModulePathOf(const void* address) {
  Dl_info info{};
  if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  char resolved[PATH_MAX];
  return Utf8ToText(::realpath(info.dli_fname, resolved) != nullptr ? resolved : info.dli_fname);
}

}  // namespace qvn::platform
