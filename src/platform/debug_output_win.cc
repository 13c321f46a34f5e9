#include <windows.h>

#include "base/text.h"
#include "platform/debug_output.h"

namespace qvn::platform {

void WriteDebugLine(const std::string& line) {
  const Text text = Utf8ToText(line + "\n");
  OutputDebugStringW(reinterpret_cast<const wchar_t*>(text.c_str()));
}

}  // namespace qvn::platform
