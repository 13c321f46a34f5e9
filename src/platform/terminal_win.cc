#include <windows.h>

#include "platform/terminal.h"

namespace qvn::platform {

int StderrTerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
  // The visible window, not the (often much wider) screen buffer.
  return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace qvn::platform
