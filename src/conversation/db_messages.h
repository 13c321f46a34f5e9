#ifndef QVN_CONVERSATION_DB_MESSAGES_H_
#define QVN_CONVERSATION_DB_MESSAGES_H_

#include <cstdint>

#include "base/text.h"

namespace qvn {

enum class MessageChannel { Pipe, File, Tcp };

// Hands the server a message for one channel; the reply unchanged or
// "CONNECTION_ERROR". Never raises.
Text SendDbMessage(const Text& host, uint16_t port, const Text& message, MessageChannel channel,
                   const Text& receiver_host, uint16_t receiver_port, int32_t probe_timeout_ms);

}  // namespace qvn

#endif  // QVN_CONVERSATION_DB_MESSAGES_H_
