// Texts that come from standard input or a file, read up to a cap so that
// an endless source (qvn script /dev/zero) fails at once instead of growing
// until memory runs out.
#ifndef QVN_CLI_INPUT_H_
#define QVN_CLI_INPUT_H_

#include <cstddef>
#include <istream>
#include <string>

#include "wide.h"

namespace qvn_cli {

// Far below the longest message the library can frame (2^31 - 1 bytes).
inline constexpr size_t kMaxInputBytes = size_t{64} << 20;

// The whole stream, a UTF-8 byte order mark dropped. Raises Failure naming
// `what` and the cap when the stream holds more than kMaxInputBytes.
std::string ReadAll(std::istream& in, const std::string& what);

// A script file, or standard input for "-". Raises Failure when it cannot be
// read or is above the cap, UsageError when it holds nothing but blanks.
Wide ReadScript(const std::string& name);

// A TEXT argument: itself, or standard input for "-".
Wide TextArg(const std::string& s);

// True when the text holds nothing but blanks (code units up to U+0020).
bool IsBlankText(const Wide& text);

}  // namespace qvn_cli

#endif  // QVN_CLI_INPUT_H_
