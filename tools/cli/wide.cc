#include "wide.h"

namespace qvn_cli {

Wide TakeResult(qvn_char* result) {
  Wide out;
  if (result != nullptr) {
    for (size_t i = 0; result[i] != 0; ++i) out.push_back(static_cast<char16_t>(result[i]));
  }
  ScriptFree(result);
  return out;
}

std::string ForTerminal(std::u16string_view s) {
  std::string utf8 = ToUtf8(s);
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\r') {
      out.push_back('\n');
      if (i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
    } else {
      out.push_back(utf8[i]);
    }
  }
  return out;
}

}  // namespace qvn_cli
