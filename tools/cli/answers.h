// What the server answered, on stdout, and what it means for the exit status.
#ifndef QVN_CLI_ANSWERS_H_
#define QVN_CLI_ANSWERS_H_

#include <optional>
#include <string>

#include "options.h"
#include "wide.h"

namespace qvn_cli {

// "host:port" of the request port.
std::string Where(const Args& a);

// Why no connection to the request port can be made ("cannot connect:
// Connection refused", "cannot resolve host: ...", "timed out ..."), or
// nothing when one can: the library's answer words do not say. The probe
// takes at most --connect-timeout (5 s when none is set).
std::optional<std::string> ConnectProblem(const Args& a);

// "no answer from HOST:PORT: CAUSE" for an answer that says only that the
// exchange failed.
std::string NoAnswer(const Args& a);

// Prints a server answer; failure words and refusals end the command.
int Answer(const Args& a, const Wide& answer);

// Prints a text result and a line break; returns 0.
int PrintText(const Wide& text);

}  // namespace qvn_cli

#endif  // QVN_CLI_ANSWERS_H_
