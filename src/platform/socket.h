// IPv4 TCP sockets: BSD sockets on Linux, Winsock on Windows (started lazily,
// once, never from DllMain). Every socket is owned by exactly one object.
#ifndef QVN_PLATFORM_SOCKET_H_
#define QVN_PLATFORM_SOCKET_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/text.h"

namespace qvn::platform {

// A connected client socket. Writes never raise SIGPIPE.
class Connection {
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
  // Sends every byte or raises ConnectionError.
  void SendAll(const uint8_t* data, size_t n);
  // Receives exactly n bytes or raises ConnectionError (closed early, error).
  void ReceiveExact(uint8_t* data, size_t n);
  // Receives up to n bytes; returns 0 when the peer has closed. Raises on error.
  size_t ReceiveSome(uint8_t* data, size_t n);
  // True when the peer has closed and nothing unread waits (does not block).
  bool PeerClosedAndDrained();
  // Turns on TCP keep-alive so a vanished peer is noticed eventually.
  void EnableKeepAlive();
  // Shuts down both directions and closes; harmless when not open.
  void Close();
  // Shuts down both directions but keeps the socket: safe while another
  // thread reads or writes it, whose call then returns.
  void Shutdown();

  // Wraps an accepted socket (listener side).
  explicit Connection(intptr_t native) : socket_(native) {}

 private:
  intptr_t socket_ = -1;
};

// A listening socket on an IPv4 address; port 0 picks a free port.
class Listener {
 public:
  Listener(const std::string& address, uint16_t port);  // raises ConnectionError
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  uint16_t port() const { return port_; }
  // Waits up to timeout_ms (negative: no limit) for a connection; returns a
  // closed Connection on time-out. Raises ConnectionError on error.
  Connection Accept(int timeout_ms);
  void Close();

 private:
  intptr_t socket_ = -1;
  uint16_t port_ = 0;
};

// Connects (blocking), then waits at most timeout_ms (negative: no limit) for
// the socket to be writable with no error; true only then. Never raises.
bool ProbeConnect(const Text& host, uint16_t port, int32_t timeout_ms);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_SOCKET_H_
