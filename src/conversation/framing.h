// Request-port framing: a 4-byte big-endian signed byte count, then UTF-16LE.
#ifndef QVN_CONVERSATION_FRAMING_H_
#define QVN_CONVERSATION_FRAMING_H_

#include "base/text.h"
#include "platform/socket.h"

namespace qvn {

// Sends one framed message; a failure to send is swallowed (the read notices).
void WriteMessage(platform::Connection& connection, const Text& text);

// Reads one framed message; empty text when the connection is closed with
// nothing unread. A negative count reads until the server closes. Raises
// ConnectionError when the connection breaks early. Never allocates more than
// what actually arrived.
Text ReadMessage(platform::Connection& connection);

}  // namespace qvn

#endif  // QVN_CONVERSATION_FRAMING_H_
