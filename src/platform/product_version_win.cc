#include "platform/product_version.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/errors.h"

namespace qvn::platform {
namespace {

[[noreturn]] void RaiseLastError(const char* what) {
  throw PlatformError(std::string(what) + " failed", static_cast<uint32_t>(GetLastError()));
}

std::wstring Wide(const Text& text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

ProductVersion ReadProductVersion(const Text& file_name) {
  const std::wstring name = Wide(file_name);
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(name.c_str(), &handle);
  if (size == 0) RaiseLastError("GetFileVersionInfoSizeW");
  std::vector<BYTE> info(size);
  if (!GetFileVersionInfoW(name.c_str(), handle, size, info.data()))
    RaiseLastError("GetFileVersionInfoW");
  void* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(info.data(), L"\\", &fixed, &length)) RaiseLastError("VerQueryValueW");
  if (fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO))
    throw PlatformError("VerQueryValueW gave no fixed version information",
                        ERROR_RESOURCE_DATA_NOT_FOUND);
  const auto* v = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  return {HIWORD(v->dwProductVersionMS), LOWORD(v->dwProductVersionMS),
          HIWORD(v->dwProductVersionLS), LOWORD(v->dwProductVersionLS)};
}

}  // namespace qvn::platform
