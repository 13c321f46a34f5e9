#include <windows.h>

#include "base/text.h"
#include "platform/environment.h"

namespace qvn::platform {

std::string EnvironmentValue(const char* name) {
  const Text wide_name = Utf8ToText(name);
  const auto* w = reinterpret_cast<const wchar_t*>(wide_name.c_str());
  Text value;
  for (DWORD size = 64;;) {
    value.resize(size);
    const DWORD n = GetEnvironmentVariableW(w, reinterpret_cast<wchar_t*>(value.data()), size);
    if (n < size) {  // 0: unset (or empty)
      value.resize(n);
      return TextToUtf8(value);
    }
    size = n;  // too small: n is the size needed, terminator included
  }
}

}  // namespace qvn::platform
