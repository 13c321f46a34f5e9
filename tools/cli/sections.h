// Which file transfers a script starts: the library moves its file sections
// to a background thread and reports only progress, so the client reads the
// sections the same way to know what to wait for.
#ifndef QVN_CLI_SECTIONS_H_
#define QVN_CLI_SECTIONS_H_

#include <vector>

#include "wide.h"

namespace qvn_cli {

struct Transfer {
  bool upload = false;
  Wide client;  // local path
  Wide server;  // server name with its "..\" or ".@\" prefix
};

// The transfers in the order the library carries them out; upload entries
// whose local file does not exist are left out, as the library skips them.
std::vector<Transfer> ExpectedTransfers(const Wide& script);

}  // namespace qvn_cli

#endif  // QVN_CLI_SECTIONS_H_
