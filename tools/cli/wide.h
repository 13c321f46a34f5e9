// UTF-8 (the command line, files, the terminal) <-> the library's UTF-16.
#ifndef QVN_CLI_WIDE_H_
#define QVN_CLI_WIDE_H_

#include <string>
#include <string_view>

#include "qvn.h"

namespace qvn_cli {

using Wide = std::u16string;

Wide FromUtf8(std::string_view s);      // invalid sequences become U+FFFD
std::string ToUtf8(std::u16string_view s);  // unpaired surrogates become U+FFFD

// Takes a library result, releases it with ScriptFree and returns its text.
Wide TakeResult(qvn_char* result);

// Line breaks (CR LF, CR, LF) written as "\n" for the terminal.
std::string ForTerminal(std::u16string_view s);

}  // namespace qvn_cli

#endif  // QVN_CLI_WIDE_H_
