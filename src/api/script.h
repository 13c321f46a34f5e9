// The Script worker: runs a whole script against the server. File sections go
// to a background transfer thread, the directives CLEARSYNC, BUILD SHOW and
// BUILD SHOW[...] become administrative commands, and the rest travels as one
// script request.
#ifndef QVN_API_SCRIPT_H_
#define QVN_API_SCRIPT_H_

#include <cstdint>

#include "base/text.h"

namespace qvn {

// Probe time-out of the commands a script's directives send.
inline constexpr int32_t kScriptProbeTimeoutMs = 30000;

// The gathered answers; empty for port 0, a one-line script or a script with
// no line left after tidying. message_handle goes to the transfer thread
// unchanged (an HWND on Windows, a QvnWindow* on Linux).
Text Script(void* message_handle, const Text& script, const Text& host, uint16_t port,
            uint16_t file_port);

}  // namespace qvn

#endif  // QVN_API_SCRIPT_H_
