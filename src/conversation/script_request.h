#ifndef QVN_CONVERSATION_SCRIPT_REQUEST_H_
#define QVN_CONVERSATION_SCRIPT_REQUEST_H_

#include <cstdint>

#include "base/text.h"
#include "conversation/answer_words.h"

namespace qvn {

// Sends a script (credentials line first) encrypted under its credentials and
// returns the decrypted reply trimmed, or "NONE". Never raises.
Text SendScript(const Text& host, uint16_t port, const Text& text);

}  // namespace qvn

#endif  // QVN_CONVERSATION_SCRIPT_REQUEST_H_
