// The Script worker: runs a whole script against the server. File sections go
// to a background transfer thread, the directives CLEARSYNC, BUILD SHOW and
// BUILD SHOW[...] become administrative commands, and the rest travels as one
// script request.
#ifndef QVN_API_SCRIPT_H_
#define QVN_API_SCRIPT_H_

#include <cstdint>
#include <functional>
#include <vector>

#include "base/text.h"

namespace qvn {

// How far a Script call got with its transfer thread, for the answer to a
// failure that escapes it: "NONE" before, the empty text while the thread was
// being started (it could not be), "File transfer started" once it runs.
enum class TransferState { kNone, kStarting, kStarted };

// The gathered answers; empty for port 0, a one-line script or a script with
// no line left after tidying. message_handle goes to the transfer thread
// unchanged (an HWND on Windows, a QvnWindow* on Linux).
Text Script(void* message_handle, const Text& script, const Text& host, uint16_t port,
            uint16_t file_port, TransferState& state);
inline Text Script(void* message_handle, const Text& script, const Text& host, uint16_t port,
                   uint16_t file_port) {
  TransferState state = TransferState::kNone;
  return Script(message_handle, script, host, port, file_port, state);
}

// What the directive lines run: CLEARSYNC, and BUILD SHOW with its number
// and flag.
struct DirectiveCommands {
  std::function<Text()> clear_sync;
  std::function<Text(int32_t number, bool flag)> build_show;
};

// The three directive passes over the tidied lines: answers gathered into
// `result` as Script does, directive lines removed.
void RunDirectives(std::vector<Text>& lines, Text& result, const DirectiveCommands& commands);

}  // namespace qvn

#endif  // QVN_API_SCRIPT_H_
