#include "platform/case_map.h"

#include <windows.h>

#include <memory>

namespace qvn::platform {
namespace {

struct Table {
  char16_t upper[65536];
};

std::unique_ptr<Table> BuildTable() {
  auto t = std::make_unique<Table>();
  for (unsigned c = 0; c < 65536; ++c) {
    t->upper[c] = static_cast<char16_t>(c);
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    // One unit at a time: that is the mapping of a lone character, and the
    // invariant locale keeps it the same on every machine.
    WCHAR in = static_cast<WCHAR>(c), out = 0;
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &in, 1, &out, 1, nullptr, nullptr,
                      0) == 1 &&
        !(out >= 0xD800 && out <= 0xDFFF)) {
      t->upper[c] = static_cast<char16_t>(out);
    }
  }
  return t;
}

}  // namespace

const char16_t* UpperCaseTable() {
  // Never destroyed: a transfer thread may still upper-case text while the
  // process exits.
  static const Table& table = *BuildTable().release();
  return table.upper;
}

}  // namespace qvn::platform
