#include "text/letter_case.h"

#include "platform/case_map.h"
#include "platform/memory_hint.h"

namespace qvn {

const char16_t* UpperCaseTable() {
  static const char16_t* const table = [] {
    auto* upper = new char16_t[65536];
    platform::FillUpperCase(upper);
    return upper;
  }();
  return table;
}

const CaseIndex& Cases() {
  static const CaseIndex& index = *new CaseIndex(UpperCaseTable());
  return index;
}

Text UpperCase(TextView text) {
  const char16_t* upper = UpperCaseTable();
  Text out;
  out.reserve(text.size());
  platform::HintLargeWrite(out.data(), out.capacity() * sizeof(char16_t));
  out.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) out[i] = upper[text[i]];
  return out;
}

Text UpperTrim(TextView text) { return UpperCase(TrimView(text)); }

}  // namespace qvn
