#include "base/whole_number.h"

namespace qvn {

std::optional<int64_t> ParseWholeNumber(TextView text, const WholeNumberSyntax& syntax) {
  size_t i = 0;
  const size_t n = text.size();
  if (syntax.leading_blanks) {
    while (i < n && IsBlank(text[i])) ++i;
  }
  bool negative = false;
  if (i < n && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  unsigned base = 10;
  if (syntax.hexadecimal) {
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
      base = 16;
      ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
      base = 16;
      i += 2;
    }
  }
  // The magnitude's limit, computed without overflowing for INT64_MIN.
  const uint64_t limit = negative ? uint64_t{0} - static_cast<uint64_t>(syntax.min)
                                  : static_cast<uint64_t>(syntax.max);
  if (i == n) return std::nullopt;
  uint64_t value = 0;
  for (; i < n; ++i) {
    const char16_t c = text[i];
    unsigned d;
    if (c >= u'0' && c <= u'9') {
      d = c - u'0';
    } else if (base == 16 && c >= u'a' && c <= u'f') {
      d = c - u'a' + 10;
    } else if (base == 16 && c >= u'A' && c <= u'F') {
      d = c - u'A' + 10;
    } else {
      return std::nullopt;
    }
    if (d > limit || value > (limit - d) / base) return std::nullopt;
    value = value * base + d;
  }
  return negative ? static_cast<int64_t>(uint64_t{0} - value) : static_cast<int64_t>(value);
}

}  // namespace qvn
