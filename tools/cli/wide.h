// The library's UTF-16 results on the UTF-8 side of the tool (the command
// line, files, the terminal).
#ifndef QVN_CLI_WIDE_H_
#define QVN_CLI_WIDE_H_

#include <string>
#include <string_view>

#include "base/text.h"
#include "qvn.h"

namespace qvn_cli {

using Wide = qvn::Text;

inline Wide FromUtf8(std::string_view s) { return qvn::Utf8ToText(s); }
inline std::string ToUtf8(std::u16string_view s) { return qvn::TextToUtf8(s); }

// A text as the library's exports take it.
#define QVN_TEXT(w) reinterpret_cast<const qvn_char*>((w).c_str())

// Takes a library result, releases it with ScriptFree and returns its text.
Wide TakeResult(qvn_char* result);

// Line breaks (CR LF, CR, LF) written as "\n" for the terminal.
std::string ForTerminal(std::u16string_view s);

}  // namespace qvn_cli

#endif  // QVN_CLI_WIDE_H_
