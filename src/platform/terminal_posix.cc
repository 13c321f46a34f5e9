#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/terminal.h"

namespace qvn::platform {

int StderrTerminalColumns() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

}  // namespace qvn::platform
