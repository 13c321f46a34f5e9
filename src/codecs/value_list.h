// Value lists: fields separated by a delimiter text. Both O(n).
#ifndef QVN_CODECS_VALUE_LIST_H_
#define QVN_CODECS_VALUE_LIST_H_

#include <cstdint>

#include "base/text.h"

namespace qvn {

// Field `index` of the trimmed text; overlapping occurrences of a multi-unit
// delimiter each count. Empty delimiter: the whole trimmed text.
Text ValueFromString(TextView text, int32_t index, TextView delimiter);

// Non-overlapping occurrences + 1; 1 or 0 (count_single) when none; 0 for an
// empty trimmed text or delimiter.
int32_t ValueCount(TextView text, TextView delimiter, bool count_single);

}  // namespace qvn

#endif  // QVN_CODECS_VALUE_LIST_H_
