#include "platform/local_clock.h"

#include <windows.h>

namespace qvn::platform {

int LocalMillisecond() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return now.wMilliseconds <= 999 ? now.wMilliseconds : 0;
}

}  // namespace qvn::platform
