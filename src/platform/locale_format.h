// Texts formatted the way the user's locale writes them.
#ifndef QVN_PLATFORM_LOCALE_FORMAT_H_
#define QVN_PLATFORM_LOCALE_FORMAT_H_

#include "base/text.h"

namespace qvn::platform {

// The current local date and time: the locale's short date, a space, the
// locale's long time. Windows: GetDateFormatEx(DATE_SHORTDATE) and
// GetTimeFormatEx of the user's default locale. Linux: strftime "%x %X" under
// the process's LC_TIME.
Text LocalDateTimeText();

// The locale's decimal separator. Windows: LOCALE_SDECIMAL of the user's
// default locale. Linux: the process's LC_NUMERIC radix character.
Text LocaleDecimalSeparator();

// value with pattern "0.00": at least one integer digit, two decimals,
// rounded, with the locale's decimal separator ("81.92", "0.05", "-1.50").
Text FormatTwoDecimals(double value);
// The same with a separator the caller looked up once (LocaleDecimalSeparator).
Text FormatTwoDecimals(double value, TextView decimal_separator);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_LOCALE_FORMAT_H_
