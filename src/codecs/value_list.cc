#include "codecs/value_list.h"

#include <climits>

#include "base/text_search.h"

namespace qvn {

Text ValueFromString(TextView text, int32_t index, TextView delimiter) {
  const TextView s = TrimView(text);
  if (s.empty()) return Text();
  if (delimiter.empty()) return Text(s);
  Finder find(s, delimiter, nullptr);
  size_t p = find.Next(0);
  if (p == kNotFound) return index == 0 ? Text(s) : Text();
  if (index == 0) return Text(s.substr(0, p));
  // A negative index reads as a huge one and runs out of delimiters.
  const auto wanted = static_cast<uint32_t>(index);
  const size_t l = delimiter.size();
  for (uint32_t n = 1;; ++n) {
    // The next search starts one past this occurrence's start, not its end,
    // so overlapping occurrences each end a field.
    if (n == wanted) {
      const size_t start = p + l;
      const size_t q = find.Next(p + 1);
      if (q == kNotFound) return Text(s.substr(start));
      return q <= start ? Text() : Text(s.substr(start, q - start));
    }
    p = find.Next(p + 1);
    if (p == kNotFound) return Text();
  }
}

int32_t ValueCount(TextView text, TextView delimiter, bool count_single) {
  const TextView s = TrimView(text);
  if (s.empty() || delimiter.empty()) return 0;
  Finder find(s, delimiter, nullptr);
  size_t p = find.Next(0);
  if (p == kNotFound) return count_single ? 1 : 0;
  int64_t count = 1;
  while (p != kNotFound) {
    ++count;
    p = find.Next(p + delimiter.size());
  }
  return count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
}

}  // namespace qvn
