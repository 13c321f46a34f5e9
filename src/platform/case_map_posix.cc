#include "platform/case_map.h"

#include <locale.h>
#include <wctype.h>

#include <initializer_list>

namespace qvn::platform {
namespace {

// A locale object of our own, so neither setlocale() nor uselocale() by the
// host changes how the library compares texts.
locale_t Utf8Locale() {
  for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
    locale_t l = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0));
    if (l != static_cast<locale_t>(0)) return l;
  }
  return static_cast<locale_t>(0);
}

}  // namespace

void FillUpperCase(char16_t* upper) {
  for (unsigned c = 0; c < 65536; ++c) upper[c] = static_cast<char16_t>(c);
  locale_t loc = Utf8Locale();
  if (loc == static_cast<locale_t>(0)) {
    // No UTF-8 locale installed: ASCII letters are all that can be mapped safely.
    for (unsigned c = u'a'; c <= u'z'; ++c) upper[c] = static_cast<char16_t>(c - 32);
    return;
  }
  for (unsigned c = 0; c < 65536; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    wint_t u = towupper_l(static_cast<wint_t>(c), loc);
    if (u < 0x10000 && !(u >= 0xD800 && u <= 0xDFFF)) upper[c] = static_cast<char16_t>(u);
  }
  freelocale(loc);
}

}  // namespace qvn::platform
