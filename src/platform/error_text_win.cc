#include "platform/error_text.h"

#include <windows.h>

#include "base/text.h"

namespace qvn::platform {

std::string SystemErrorText(uint32_t code) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  Text text = n > 0 ? Trim(TextView(reinterpret_cast<const char16_t*>(buffer), n)) : Text();
  if (buffer != nullptr) LocalFree(buffer);
  std::string out = "error " + std::to_string(code);
  return text.empty() ? out : TextToUtf8(text) + " (" + out + ")";
}

bool IsAccessDenied(uint32_t code) { return code == ERROR_ACCESS_DENIED; }

}  // namespace qvn::platform
