#ifndef QVN_CONVERSATION_PROBE_H_
#define QVN_CONVERSATION_PROBE_H_

#include <cstdint>

#include "base/text.h"

namespace qvn {

// Can a TCP connection to host:port be made now? Sends no data, never raises.
bool ProbeServer(const Text& host, uint16_t port, int32_t timeout_ms);

}  // namespace qvn

#endif  // QVN_CONVERSATION_PROBE_H_
