// File entries the library will not carry out as their author meant, found
// before the script is sent, so that they are never silently lost.
#ifndef QVN_CLI_SCRIPT_CHECKS_H_
#define QVN_CLI_SCRIPT_CHECKS_H_

#include "wide.h"

namespace qvn_cli {

// One warning line on stderr for each entry line inside a file section that
// begins with "/" (a comment to the library) and for each entry whose server
// name the library cannot use (no "..\" or ".@\" after the comma, as in
// "x.bin,../up/x.bin"). Returns the number of warnings.
int WarnAboutFileEntries(const Wide& script);

}  // namespace qvn_cli

#endif  // QVN_CLI_SCRIPT_CHECKS_H_
