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
  bool silent = false;  // an empty file's upload sends no block, so no progress either
};

// The transfers in the order the library carries them out; upload entries
// whose local file does not exist are left out, as the library skips them.
// Lines beginning with "/" are comments to the library, so an absolute client
// path only survives as the first entry, right after "{".
std::vector<Transfer> ExpectedTransfers(const Wide& script);

}  // namespace qvn_cli

#endif  // QVN_CLI_SECTIONS_H_
