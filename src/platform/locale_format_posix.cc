#include <langinfo.h>
#include <locale.h>

#include <ctime>

#include "platform/locale_format.h"

namespace qvn::platform {

Text LocalDateTimeText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return Text();
  char buf[256];
  size_t n = std::strftime(buf, sizeof buf, "%x %X", &local);
  return Utf8ToText(std::string_view(buf, n));
}

Text LocaleDecimalSeparator() {
  // The host may call setlocale() meanwhile, which invalidates what
  // nl_langinfo() returned; a copy of the thread's locale, taken under the C
  // library's own lock, stays valid until we free it.
  locale_t copy = duplocale(uselocale(static_cast<locale_t>(0)));
  if (copy == static_cast<locale_t>(0)) return u".";
  const char* radix = nl_langinfo_l(RADIXCHAR, copy);
  Text separator = radix == nullptr || *radix == '\0' ? Text(u".") : Utf8ToText(radix);
  freelocale(copy);
  return separator;
}

}  // namespace qvn::platform
