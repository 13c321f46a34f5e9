// Texts that come from standard input or a file.
#ifndef QVN_CLI_INPUT_H_
#define QVN_CLI_INPUT_H_

#include <istream>
#include <string>

#include "wide.h"

namespace qvn_cli {

// The whole stream, a UTF-8 byte order mark dropped.
std::string ReadAll(std::istream& in);

// A TEXT argument: itself, or standard input for "-".
Wide TextArg(const std::string& s);

}  // namespace qvn_cli

#endif  // QVN_CLI_INPUT_H_
