// Whatever a server sends on the request port, reading the reply must end in
// text or a ConnectionError: never a crash, never an allocation of what a
// hostile length prefix announces.
#include <thread>

#include "base/errors.h"
#include "conversation/framing.h"
#include "fuzz_input.h"
#include "platform/socket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static qvn::platform::Listener listener("127.0.0.1", 0);
  std::thread server([&] {
    qvn::platform::Connection peer = listener.Accept(5000);
    if (!peer.IsOpen()) return;
    try {
      peer.SendAll(data, size);
    } catch (const qvn::Error&) {
    }
    peer.Close();
  });
  try {
    qvn::platform::Connection c = qvn::platform::Connection::Open(u"127.0.0.1", listener.port());
    qvn::Text reply = qvn::ReadMessage(c);
    QVN_FUZZ_CHECK(reply.size() * 2 <= size);
  } catch (const qvn::ConnectionError&) {
  }
  server.join();
  return 0;
}
