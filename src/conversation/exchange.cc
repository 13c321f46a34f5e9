#include "conversation/exchange.h"

#include "conversation/probe.h"
#include "platform/debug_output.h"
#include "platform/socket.h"

namespace qvn {

std::optional<Text> Exchange(const Text& host, uint16_t port, const ExchangeOptions& options,
                             const std::function<Text()>& build_request,
                             const std::function<Text(Text)>& open_reply) {
  if (port == 0) {
    platform::ReportFailure(options.what, host, port, "port 0: nothing is sent");
    return std::nullopt;
  }
  if (options.probe_ms && !ProbeServer(host, port, *options.probe_ms)) return std::nullopt;
  try {
    platform::Connection connection = platform::Connection::Open(host, port);
    connection.EnableKeepAlive();
    WriteMessage(connection, build_request(), options.message_limit);
    Text reply = ReadMessage(connection, options.message_limit);
    connection.Close();
    return open_reply ? open_reply(std::move(reply)) : reply;
  } catch (...) {  // every failure of the exchange is its answer word
    // The caller's answer word ("CONNECTION_ERROR", "NONE") says it failed;
    // the cause is for QVN_DEBUG.
    platform::ReportFailure(options.what, host, port);
    return std::nullopt;
  }
}

}  // namespace qvn
