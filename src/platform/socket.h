// IPv4 TCP sockets: BSD sockets on Linux, Winsock on Windows (started lazily,
// once, never from DllMain). Every socket is owned by exactly one object.
#ifndef QVN_PLATFORM_SOCKET_H_
#define QVN_PLATFORM_SOCKET_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/byte_stream.h"
#include "base/text.h"

namespace qvn::platform {

// A connected client socket. Writes never raise SIGPIPE.
class Connection : public ByteSource, public ByteSink {
 public:
  Connection() = default;
  ~Connection();
  Connection(Connection&& other) noexcept;
  Connection& operator=(Connection&& other) noexcept;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Resolves host (name or dotted IPv4) and connects with a blocking connect.
  // Raises ConnectionError on any failure.
  static Connection Open(const Text& host, uint16_t port);

  bool IsOpen() const;
  void SendAll(const uint8_t* data, size_t n) override;
  size_t ReceiveSome(uint8_t* data, size_t n) override;
  bool PeerClosedAndDrained() override;
  // Turns on TCP keep-alive so a vanished peer is noticed eventually.
  void EnableKeepAlive();
  // Shuts down both directions without closing: a read or write blocked on
  // another thread returns. The socket stays owned until Close.
  void Interrupt();
  // Shuts down both directions and closes; harmless when not open.
  void Close();
  // Closes with a reset instead of an orderly end, as a crashed peer would
  // (the hostile servers of tests); harmless when not open.
  void Abort();

  // Wraps an accepted socket (the listener of tests and tools).
  explicit Connection(intptr_t native) : socket_(native) {}

 private:
  intptr_t socket_ = -1;
};

// Connects (blocking), then waits at most timeout_ms (negative: no limit) for
// the socket to be writable with no error; true only then. Never raises.
bool ProbeConnect(const Text& host, uint16_t port, int32_t timeout_ms);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_SOCKET_H_
