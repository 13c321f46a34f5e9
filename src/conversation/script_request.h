#ifndef QVN_CONVERSATION_SCRIPT_REQUEST_H_
#define QVN_CONVERSATION_SCRIPT_REQUEST_H_

#include <cstdint>

#include "base/text.h"
#include "conversation/answer_words.h"
#include "conversation/framing.h"

namespace qvn {

// Sends a script (credentials line first) encrypted under its credentials and
// returns the decrypted reply trimmed, or "NONE". Never raises. A request or
// reply longer than `message_limit` bytes (smaller for tests) gives "NONE".
Text SendScript(const Text& host, uint16_t port, const Text& text,
                size_t message_limit = kMaxMessageBytes);

}  // namespace qvn

#endif  // QVN_CONVERSATION_SCRIPT_REQUEST_H_
