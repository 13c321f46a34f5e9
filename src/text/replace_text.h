// Replacing a pattern in a text with letter case ignored (the system's case
// mapping, text/letter_case.h), and collapsing: replacing again while the
// pattern still occurs, as the script tidying does with blanks and brackets.
#ifndef QVN_TEXT_REPLACE_TEXT_H_
#define QVN_TEXT_REPLACE_TEXT_H_

#include "base/text.h"

namespace qvn {

// Every occurrence of pattern replaced, letter case ignored, left to right,
// inserted text never rescanned.
Text ReplaceText(TextView text, TextView pattern, TextView replacement);

// Trimmed text with ReplaceText repeated while pattern (exact case) occurs.
Text CollapseText(TextView text, TextView pattern, TextView replacement);

}  // namespace qvn

#endif  // QVN_TEXT_REPLACE_TEXT_H_
