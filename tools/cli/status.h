// How a command ends: the failures that map to the exit statuses.
#ifndef QVN_CLI_STATUS_H_
#define QVN_CLI_STATUS_H_

#include <stdexcept>

namespace qvn_cli {

constexpr int kRefused = 1, kUsage = 2, kUnreachable = 3;

// Exit status 2: the command line (or its input) is not usable.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// Exit status 1: refused, not found, or the answer NONE.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// Exit status 3: the server could not be reached.
struct Unreachable : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace qvn_cli

#endif  // QVN_CLI_STATUS_H_
