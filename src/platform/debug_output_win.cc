#include <windows.h>

#include "platform/debug_output.h"

namespace qvn::platform {

bool DebugRequestedByEnvironment() {
  wchar_t value[8];
  const DWORD n = GetEnvironmentVariableW(L"QVN_DEBUG", value, 8);
  return n > 0 && !(n == 1 && value[0] == L'0');  // n >= 8: a longer value
}

void WriteDebugLine(const std::string& line) {
  const Text text = Utf8ToText(line + "\n");
  OutputDebugStringW(reinterpret_cast<const wchar_t*>(text.c_str()));
}

}  // namespace qvn::platform
