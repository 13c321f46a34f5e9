#include "platform/case_map.h"

namespace qvn::platform {

const char16_t* UpperCaseTable() {
  // Never destroyed: a transfer thread may still upper-case text while the
  // process exits.
  static const char16_t* const table = [] {
    auto* upper = new char16_t[65536];
    FillUpperCase(upper);
    return upper;
  }();
  return table;
}

}  // namespace qvn::platform
