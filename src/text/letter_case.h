// Letter case as the system maps it: the upper-case table of every UTF-16
// code unit, built once from platform/case_map.h, and upper-casing with it.
// Above platform/ because the mapping is the system's; the searching that
// uses a table (base/text_search.h) is portable and is handed this one.
#ifndef QVN_TEXT_LETTER_CASE_H_
#define QVN_TEXT_LETTER_CASE_H_

#include "base/text.h"
#include "base/text_search.h"

namespace qvn {

// 65,536 entries: the system's upper case of each code unit on its own
// (surrogates, and units whose upper case needs another length, map to
// themselves). Built on first use (thread-safe), independent of the process's
// locale, never destroyed: a transfer thread may still use it while the
// process exits.
const char16_t* UpperCaseTable();

// The same table with, for matching that ignores letter case, which units
// share an upper-case form. Built once, never destroyed.
const CaseIndex& Cases();

// Upper-case code unit by code unit (simple mapping; length unchanged).
Text UpperCase(TextView text);
// Trimmed, then upper-cased.
Text UpperTrim(TextView text);

}  // namespace qvn

#endif  // QVN_TEXT_LETTER_CASE_H_
