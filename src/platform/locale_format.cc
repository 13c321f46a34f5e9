#include "platform/locale_format.h"

#include <charconv>
#include <cmath>

namespace qvn::platform {

Text FormatTwoDecimals(double value) { return FormatTwoDecimals(value, LocaleDecimalSeparator()); }

Text FormatTwoDecimals(double value, TextView decimal_separator) {
  if (!std::isfinite(value)) return Latin1ToText(std::isnan(value) ? "NAN" : (value > 0 ? "INF" : "-INF"));
  char buf[400];
  // to_chars is locale-independent: the point is swapped for the locale's.
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
  if (ec != std::errc()) return Text();
  Text out = Latin1ToText(std::string_view(buf, static_cast<size_t>(end - buf)));
  if (out == u"-0.00") out = u"0.00";
  size_t point = out.find(u'.');
  if (point != Text::npos) out.replace(point, 1, decimal_separator);
  return out;
}

}  // namespace qvn::platform
