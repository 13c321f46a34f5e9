// One request and one reply on a request-port connection of its own: the
// skeleton that the commands, the messages, user authentication and the
// script request share.
#ifndef QVN_CONVERSATION_EXCHANGE_H_
#define QVN_CONVERSATION_EXCHANGE_H_

#include <cstdint>
#include <functional>
#include <optional>

#include "base/text.h"
#include "conversation/framing.h"

namespace qvn {

struct ExchangeOptions {
  const char* what;  // names the exchange in QVN_DEBUG lines: "command", ...
  // Probe the port first and give up when it does not answer in time; none:
  // connect at once.
  std::optional<int32_t> probe_ms = std::nullopt;
  size_t message_limit = kMaxMessageBytes;  // smaller for tests
};

// Port 0 sends nothing. Otherwise: (probe,) connect, build the request (only
// once the connection is open, so a request that cannot be built still costs
// one connection opened and closed), send it, read one reply, close, and hand
// the reply to `open_reply` (none: returned unchanged). A close without any
// reply is the empty reply only after the whole request went; after a send
// that broke off (reset, broken pipe, time-out, a server that stopped reading
// a request too large for it) it is a failure, though a reply the server
// sent before it closed is still taken. Every failure along the
// way, `build_request`'s and `open_reply`'s included, is reported under
// QVN_DEBUG and gives nullopt; nothing is raised.
std::optional<Text> Exchange(const Text& host, uint16_t port, const ExchangeOptions& options,
                             const std::function<Text()>& build_request,
                             const std::function<Text(Text)>& open_reply = nullptr);

}  // namespace qvn

#endif  // QVN_CONVERSATION_EXCHANGE_H_
