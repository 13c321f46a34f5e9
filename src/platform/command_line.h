// What a command-line program gets from the system at its start: its
// arguments in UTF-8, and standard streams that pass bytes through as they are.
#ifndef QVN_PLATFORM_COMMAND_LINE_H_
#define QVN_PLATFORM_COMMAND_LINE_H_

#include <string>
#include <vector>

namespace qvn::platform {

// The program's arguments in UTF-8, its name first. Linux: argv as given.
// Windows: the command line's UTF-16 (argv holds it in the ANSI code page,
// which loses every character outside it).
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Standard input and output in binary mode, so that what a program reads
// and writes is byte for byte what the file or pipe holds (Windows' C
// runtime would otherwise turn "\n" into "\r\n" and stop at a Ctrl-Z).
// Nothing to do on Linux.
void UseBinaryStandardStreams();

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_COMMAND_LINE_H_
