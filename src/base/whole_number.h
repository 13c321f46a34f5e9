// The one reader of whole numbers written as text: an optional "-" or "+",
// then digits, nothing after them, and a value inside the caller's range.
// Callers differ only in what they allow before the sign and in hexadecimal.
#ifndef QVN_BASE_WHOLE_NUMBER_H_
#define QVN_BASE_WHOLE_NUMBER_H_

#include <cstdint>
#include <limits>
#include <optional>

#include "base/text.h"

namespace qvn {

struct WholeNumberSyntax {
  bool leading_blanks = false;  // blanks before the sign are skipped
  bool hexadecimal = false;     // "$", "x" or "0x" (x in either case) after the sign
  int64_t min = std::numeric_limits<int32_t>::min();
  int64_t max = std::numeric_limits<int32_t>::max();
};

// min <= 0 <= max. Empty text, a lone sign or prefix, any other unit, or a
// value outside [min, max] gives no number.
std::optional<int64_t> ParseWholeNumber(TextView text, const WholeNumberSyntax& syntax = {});

}  // namespace qvn

#endif  // QVN_BASE_WHOLE_NUMBER_H_
