#include "platform/local_clock.h"

#include <time.h>

namespace qvn::platform {

int LocalMillisecond() {
  // Time zones shift by whole seconds, so the local time's millisecond is
  // the system clock's.
  struct timespec ts;
  if (::clock_gettime(CLOCK_REALTIME, &ts) != 0) return 0;
  int ms = static_cast<int>(ts.tv_nsec / 1000000);
  return ms >= 0 && ms <= 999 ? ms : 0;
}

std::tm LocalTime(std::time_t moment) {
  std::tm out{};
  if (::localtime_r(&moment, &out) == nullptr) out = std::tm{};
  return out;
}

}  // namespace qvn::platform
