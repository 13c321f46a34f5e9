// The system's simple upper-case mapping of single UTF-16 code units. The
// table built from it, once, is text/letter_case.h's.
#ifndef QVN_PLATFORM_CASE_MAP_H_
#define QVN_PLATFORM_CASE_MAP_H_

namespace qvn::platform {

// Fills upper[c] for all 65,536 code units with the upper-case form the
// system gives a lone character, independent of the process's current locale.
// Surrogates, and characters whose upper case would need more or fewer code
// units, map to themselves. Slow: meant to be called once.
void FillUpperCase(char16_t* upper);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_CASE_MAP_H_
