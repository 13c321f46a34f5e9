#include "platform/case_map.h"

#include <windows.h>

namespace qvn::platform {

void FillUpperCase(char16_t* upper) {
  for (unsigned c = 0; c < 65536; ++c) {
    upper[c] = static_cast<char16_t>(c);
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    // One unit at a time: that is the mapping of a lone character, and the
    // invariant locale keeps it the same on every machine.
    WCHAR in = static_cast<WCHAR>(c), out = 0;
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &in, 1, &out, 1, nullptr, nullptr,
                      0) == 1 &&
        !(out >= 0xD800 && out <= 0xDFFF)) {
      upper[c] = static_cast<char16_t>(out);
    }
  }
}

}  // namespace qvn::platform
