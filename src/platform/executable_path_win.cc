#include "platform/executable_path.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/errors.h"

namespace qvn::platform {
namespace {

[[noreturn]] void RaiseLastError(const char* what) {
  throw PlatformError(std::string(what) + " failed", static_cast<uint32_t>(GetLastError()));
}

}  // namespace

Text ExecutablePath() {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) RaiseLastError("GetModuleFileNameW");
    if (n < buf.size()) return Text(buf.begin(), buf.begin() + n);
    if (buf.size() >= 32768) RaiseLastError("GetModuleFileNameW");  // longer than any path
    buf.resize(buf.size() * 2);
  }
}

}  // namespace qvn::platform
