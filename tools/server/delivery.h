// Delivery of database messages through their three channels.
#ifndef QVN_SERVER_DELIVERY_H_
#define QVN_SERVER_DELIVERY_H_

#include <cstdint>
#include <string>

#include "base/text.h"
#include "store.h"

namespace qvn::server {

// Pipe channel: written to the FIFO messages/pipe when one exists and has a
// reader, else appended to messages/pipe.log. Answers "OK" or "ERROR: ...".
Text DeliverToPipe(const Store& store, const Text& message);
// File channel: appended to messages/messages.txt.
Text DeliverToFile(const Store& store, const Text& message);
// TCP channel: one framed message (as the request port frames) to the
// receiver; loopback receivers only unless allow_remote.
Text DeliverByTcp(const std::string& host, uint16_t port, const Text& message, bool allow_remote,
                  int timeout_ms);

}  // namespace qvn::server

#endif  // QVN_SERVER_DELIVERY_H_
