// A console program's arguments as UTF-8 text on both systems: Windows hands
// main() its arguments in the ANSI code page, which cannot spell every path.
#ifndef QVN_PLATFORM_COMMAND_LINE_H_
#define QVN_PLATFORM_COMMAND_LINE_H_

#include <string>
#include <vector>

#include "base/text.h"

namespace qvn::platform {

// The arguments after the program's name. Linux: argv as given; Windows: the
// process's UTF-16 command line split as the C runtime splits it.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// A Windows command line split as the C runtime splits it, the program's
// name left out, each argument in UTF-8. Built on both systems so that its
// rules are tested on both.
std::vector<std::string> SplitWindowsCommandLine(TextView line);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_COMMAND_LINE_H_
