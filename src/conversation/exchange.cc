#include "conversation/exchange.h"

#include "base/debug_log.h"
#include "base/errors.h"
#include "base/thread_exit.h"
#include "conversation/probe.h"
#include "platform/socket.h"

namespace qvn {

std::optional<Text> Exchange(const Text& host, uint16_t port, const ExchangeOptions& options,
                             const std::function<Text()>& build_request,
                             const std::function<Text(Text)>& open_reply) {
  if (port == 0) {
    ReportFailure(options.what, host, port, "port 0: nothing is sent");
    return std::nullopt;
  }
  // The host's operation bound covers the probe and the request together:
  // the call as a whole ends by the deadline.
  const platform::Deadline deadline = platform::Deadline::ForOperation();
  if (options.probe_ms && !ProbeServer(host, port, deadline.Cap(*options.probe_ms))) {
    if (deadline.Passed()) {
      ReportFailure(options.what, host, port,
                    "probe: the operation time-out (QVN_OPERATION_TIMEOUT_MS) ran out");
    }
    return std::nullopt;
  }
  try {
    platform::Connection connection =
        platform::Connection::Open(host, port, platform::HostTimeouts(), deadline);
    connection.EnableKeepAlive();
    const std::string broken = WriteMessage(connection, build_request(), options.message_limit);
    // A server still waiting for the rest of the request learns there is none.
    if (!broken.empty()) connection.ShutdownSend();
    std::optional<Text> reply = ReadMessageOrClose(connection, options.message_limit);
    if (!reply) {
      // A close without a word answers a whole request (the server's way of
      // refusing credentials); after a broken send it is a lost connection.
      if (!broken.empty()) throw ConnectionError("sending the request failed: " + broken);
      reply.emplace();
    }
    connection.Close();
    return open_reply ? open_reply(std::move(*reply)) : *reply;
  } catch (...) {  // every failure of the exchange is its answer word
    RethrowThreadExit();
    // The caller's answer word ("CONNECTION_ERROR", "NONE") says it failed;
    // the cause is for QVN_DEBUG.
    ReportFailure(options.what, host, port);
    return std::nullopt;
  }
}

}  // namespace qvn
