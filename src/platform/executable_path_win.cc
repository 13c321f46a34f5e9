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

Text FileNameOf(HMODULE module) {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(module, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) RaiseLastError("GetModuleFileNameW");
    if (n < buf.size()) return Text(buf.begin(), buf.begin() + n);
    if (buf.size() >= 32768) RaiseLastError("GetModuleFileNameW");  // longer than any path
    buf.resize(buf.size() * 2);
  }
}

}  // namespace

Text ExecutablePath() { return FileNameOf(nullptr); }

Text ModulePathOf(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(address), &module)) {
    return {};
  }
  try {
    return FileNameOf(module);
  } catch (const PlatformError&) {
    return {};
  }
}

}  // namespace qvn::platform
