// Sending a script and following its file transfers (qvn script, the shell).
#ifndef QVN_CLI_SCRIPT_H_
#define QVN_CLI_SCRIPT_H_

#include "options.h"
#include "wide.h"

namespace qvn_cli {

// Sends one script, follows its transfers; the exit status it deserves.
int RunOneScript(const Args& a, const Wide& script);

}  // namespace qvn_cli

#endif  // QVN_CLI_SCRIPT_H_
