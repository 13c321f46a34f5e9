#include "platform/local_clock.h"

#include <windows.h>

namespace qvn::platform {

int LocalMillisecond() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return now.wMilliseconds <= 999 ? now.wMilliseconds : 0;
}

std::tm LocalTime(std::time_t moment) {
  std::tm out{};
  if (::localtime_s(&out, &moment) != 0) out = std::tm{};
  return out;
}

}  // namespace qvn::platform
