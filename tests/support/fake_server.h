// A scripted stand-in for the server's request port, for tests. It listens on
// 127.0.0.1 at an ephemeral port, serves each connection on its own thread,
// records every byte each connection sends, and answers as the test scripts
// it. It stops accepting when destroyed or when its lifetime runs out.
#ifndef QVN_TESTS_SUPPORT_FAKE_SERVER_H_
#define QVN_TESTS_SUPPORT_FAKE_SERVER_H_

#include <cstdint>
#include <functional>
#include <vector>

#include "base/text.h"
#include "support/loopback_server.h"
#include "net/listener.h"

namespace qvn::testing {

// One framed message: 4-byte big-endian byte count, then UTF-16LE.
Bytes Frame(const Text& text);
// The 4-byte big-endian prefix alone.
Bytes CountPrefix(int32_t count);
// UTF-16LE bytes of a text, no prefix.
Bytes Utf16Le(const Text& text);
// The text of a frame's payload (bytes after the prefix), odd byte ignored.
Text PayloadText(const Bytes& wire);
// The text of a Latin-1 byte string, for readable expectations.
Bytes AsciiBytes(const char* s);

// What the server does once it has read a request from a connection.
struct Reply {
  Bytes bytes;          // sent as they are, then the connection ends
  Bytes repeated;       // when not empty: sent next, over and over, until the client leaves
  bool reset = false;   // the end is a reset, not an orderly close
  int trickle_ms = 0;   // above 0: `bytes` go one at a time, this many ms apart

  static Reply Framed(const Text& text);
  static Reply Raw(Bytes bytes);
  // Closes without sending anything.
  static Reply CloseWithoutReply();
  // Announces `announced` payload bytes, sends `sent` of them, closes.
  static Reply CloseMidFrame(int32_t announced, const Bytes& sent);
  // Announces a huge payload (2 GB) and closes after a few bytes.
  static Reply HugeLengthThenClose();
  // Announces a negative count and streams `payload` until the close.
  static Reply NegativeLengthStream(const Bytes& payload, int32_t count = -1);
  // Announces `announced` payload bytes, sends `sent` of them, resets.
  static Reply ResetMidFrame(int32_t announced, const Bytes& sent);
  // A negative count, then `payload` over and over: a reply without end.
  static Reply EndlessStream(const Bytes& payload);
  // Sends `bytes` one at a time, pause_ms apart: a peer that never falls
  // silent long enough for a wait to run out.
  static Reply Trickled(Bytes bytes, int pause_ms);
};

// What one accepted connection brought.
struct ConnectionRecord {
  Bytes received;         // every byte, prefix included
  bool had_request = false;  // a complete framed request arrived
  Text request;           // its payload as text
};

class FakeServer : public LoopbackServer {
 public:
  // Decides the reply from the request text and the connection's number
  // (0-based, counting only connections that sent a request).
  using Handler = std::function<Reply(const Text& request, size_t index)>;

  explicit FakeServer(Handler handler, int lifetime_ms = 60000);
  // Answers every request with the same reply.
  explicit FakeServer(Reply reply, int lifetime_ms = 60000);
  ~FakeServer() override { Stop(); }

  // Waits (bounded) until `count` connections have ended, then returns the
  // records of all ended connections in the order they were accepted.
  std::vector<ConnectionRecord> WaitForConnections(size_t count, int timeout_ms = 10000);
  // Records of the connections ended so far.
  std::vector<ConnectionRecord> Connections();

 private:
  void Serve(platform::Connection& connection, size_t slot) override;

  Handler handler_;
  std::vector<ConnectionRecord> records_;  // by accept order; under mutex_
  std::vector<bool> done_;
  size_t requests_ = 0;
};

}  // namespace qvn::testing

#endif  // QVN_TESTS_SUPPORT_FAKE_SERVER_H_
