#include <windows.h>

#include "base/text.h"
#include "platform/environment.h"

namespace qvn::platform {

std::string EnvironmentValue(const char* name) { return FindEnvironmentValue(name).value_or(""); }

std::optional<std::string> FindEnvironmentValue(const char* name) {
  const Text wide_name = Utf8ToText(name);
  const auto* w = reinterpret_cast<const wchar_t*>(wide_name.c_str());
  Text value;
  for (DWORD size = 64;;) {
    value.resize(size);
    SetLastError(ERROR_SUCCESS);
    const DWORD n = GetEnvironmentVariableW(w, reinterpret_cast<wchar_t*>(value.data()), size);
    if (n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    if (n < size) {
      value.resize(n);
      return TextToUtf8(value);
    }
    size = n;  // too small: n is the size needed, terminator included
  }
}

void SetEnvironmentValue(const char* name, const std::string& value) {
  const Text wide_name = Utf8ToText(name), wide_value = Utf8ToText(value);
  SetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(wide_name.c_str()),
                          reinterpret_cast<const wchar_t*>(wide_value.c_str()));
}

}  // namespace qvn::platform
