#include "conversation/db_messages.h"

#include "conversation/admin_commands.h"

namespace qvn {
namespace {

Text MessageHeader(MessageChannel channel, const Text& receiver_host, uint16_t receiver_port) {
  switch (channel) {
    case MessageChannel::Pipe:
      return u"MESSAGE#\r\n";
    case MessageChannel::File:
      return u"MESSAGE#FILE#\r\n";
    case MessageChannel::Tcp:
      return u"MESSAGE#TCP#" + receiver_host + u":" + UnsignedDecimalText(receiver_port) +
             u"#\r\n";
  }
  return Text();
}

}  // namespace

Text SendDbMessage(const Text& host, uint16_t port, const Text& message, MessageChannel channel,
                   const Text& receiver_host, uint16_t receiver_port, int32_t probe_timeout_ms) {
  return RunCommand(host, port, probe_timeout_ms, [&] {
    return MessageHeader(channel, receiver_host, receiver_port) + message;
  });
}

}  // namespace qvn
