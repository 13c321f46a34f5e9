// The system's simple upper-case mapping of single UTF-16 code units.
#ifndef QVN_PLATFORM_CASE_MAP_H_
#define QVN_PLATFORM_CASE_MAP_H_

namespace qvn::platform {

// 65,536 entries: the upper-case form of every code unit, as the system maps a
// lone character. Surrogates, and characters whose upper case would need more
// or fewer code units, map to themselves. Built once on first use (thread-safe)
// and independent of the process's current locale.
const char16_t* UpperCaseTable();

// The system's own lookup behind the table: fills upper[c] for every code unit
// (identity where the system has no single-unit mapping). Called once.
void FillUpperCase(char16_t* upper);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_CASE_MAP_H_
