#include "platform/command_line.h"

#include <windows.h>

namespace qvn::platform {

// Split here rather than by CommandLineToArgvW, which would tie shell32.dll
// to the library.
std::vector<std::string> ProgramArguments(int, char**) {
  return SplitWindowsCommandLine(reinterpret_cast<const char16_t*>(GetCommandLineW()));
}

}  // namespace qvn::platform
