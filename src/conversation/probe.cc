#include "conversation/probe.h"

#include "platform/socket.h"

namespace qvn {

bool ProbeServer(const Text& host, uint16_t port, int32_t timeout_ms) {
  return platform::ProbeConnect(host, port, timeout_ms);
}

}  // namespace qvn
