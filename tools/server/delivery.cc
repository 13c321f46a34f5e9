#include "delivery.h"

#include <vector>

#include "base/errors.h"
#include "conversation/framing.h"
#include "files.h"
#include "platform/fifo.h"
#include "platform/socket.h"

namespace qvn::server {
namespace {

// Each message is stored in UTF-8 and ended by CR LF, like a line list.
std::string MessageRecord(const Text& message) { return TextToUtf8(message) + "\r\n"; }

// True when every address of host is a loopback one.
bool IsLoopbackHost(const std::string& host) {
  std::vector<uint32_t> addresses = platform::ResolveIpv4(Utf8ToText(host));
  for (uint32_t a : addresses) {
    if ((a >> 24) != 127) return false;
  }
  return !addresses.empty();
}

// A receiver that does not answer must not hold the request's thread: the
// connect and every later wait are bounded by timeout_ms.
platform::Connection ConnectWithTimeout(const std::string& host, uint16_t port, int timeout_ms) {
  try {
    return platform::Connection::Open(Utf8ToText(host), port,
                                      platform::SocketTimeouts{timeout_ms, timeout_ms});
  } catch (const ConnectionError& e) {
    throw ConnectionError("cannot connect to " + host + ":" + std::to_string(port) + ": " +
                          e.what());
  }
}

}  // namespace

Text DeliverToPipe(const Store& store, const Text& message) {
  try {
    if (platform::WriteToFifo(Utf8ToText(store.messages_dir() + "/pipe"), MessageRecord(message))) {
      return u"OK";
    }
    AppendToFile(store.messages_dir() + "/pipe.log", MessageRecord(message));
  } catch (const std::exception& e) {
    return u"ERROR: " + Utf8ToText(e.what());
  }
  return u"OK";
}

Text DeliverToFile(const Store& store, const Text& message) {
  try {
    AppendToFile(store.messages_dir() + "/messages.txt", MessageRecord(message));
  } catch (const std::exception& e) {
    return u"ERROR: " + Utf8ToText(e.what());
  }
  return u"OK";
}

Text DeliverByTcp(const std::string& host, uint16_t port, const Text& message, bool allow_remote,
                  int timeout_ms) {
  if (port == 0) return u"ERROR: receiver port 0";
  try {
    if (!allow_remote && !IsLoopbackHost(host)) {
      return u"ERROR: receiver " + Utf8ToText(host) + u" is not a loopback address";
    }
    platform::Connection receiver = ConnectWithTimeout(host, port, timeout_ms);
    std::string broken = WriteMessage(receiver, message);
    if (!broken.empty()) throw ConnectionError(broken);
  } catch (const std::exception& e) {
    return u"ERROR: " + Utf8ToText(e.what());
  }
  return u"OK";
}

}  // namespace qvn::server
