// What the server answered, on stdout, and what it means for the exit status.
#ifndef QVN_CLI_ANSWERS_H_
#define QVN_CLI_ANSWERS_H_

#include <string>

#include "options.h"
#include "wide.h"

namespace qvn_cli {

// "host:port" of the request port.
std::string Where(const Args& a);

// The server could not be reached, or it answered: for the answers that
// cannot tell the two apart.
bool Reachable(const Args& a);

// Prints a server answer; failure words and refusals end the command.
int Answer(const Args& a, const Wide& answer);

// Prints a text result and a line break; returns 0.
int PrintText(const Wide& text);

}  // namespace qvn_cli

#endif  // QVN_CLI_ANSWERS_H_
