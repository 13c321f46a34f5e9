#include <langinfo.h>

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
  const char* radix = nl_langinfo(RADIXCHAR);
  if (radix == nullptr || *radix == '\0') return u".";
  return Utf8ToText(radix);
}

}  // namespace qvn::platform
