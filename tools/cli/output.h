// Where the CLI's text goes: UTF-8 bytes, exactly as they are, to a file or
// pipe; to a terminal (a Windows console) through the system's terminal
// output, so that every character shows whatever the console's code page.
#ifndef QVN_CLI_OUTPUT_H_
#define QVN_CLI_OUTPUT_H_

#include <string>

namespace qvn_cli {

// Answers, on standard output.
void WriteOut(const std::string& utf8);
// Progress, warnings and failures, on standard error.
void WriteErr(const std::string& utf8);

}  // namespace qvn_cli

#endif  // QVN_CLI_OUTPUT_H_
