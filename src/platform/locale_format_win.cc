#include <windows.h>

#include "platform/locale_format.h"

namespace qvn::platform {
namespace {

Text FromWide(const wchar_t* s, int n_with_nul) {
  if (n_with_nul <= 1) return Text();
  return Text(reinterpret_cast<const char16_t*>(s), static_cast<size_t>(n_with_nul - 1));
}

}  // namespace

Text LocalDateTimeText() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t date[128], time[128];
  int nd = GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, 128,
                           nullptr);
  int nt = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &now, nullptr, time, 128);
  return FromWide(date, nd) + u" " + FromWide(time, nt);
}

Text LocaleDecimalSeparator() {
  wchar_t sep[8];
  int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, sep, 8);
  Text out = FromWide(sep, n);
  return out.empty() ? Text(u".") : out;
}

}  // namespace qvn::platform
