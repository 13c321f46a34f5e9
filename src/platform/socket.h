// IPv4 TCP sockets: BSD sockets on Linux, Winsock on Windows (started lazily,
// once, never from DllMain). Every socket is owned by exactly one object.
#ifndef QVN_PLATFORM_SOCKET_H_
#define QVN_PLATFORM_SOCKET_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_stream.h"
#include "base/text.h"

namespace qvn::platform {

// The host's bounds on every connection the library makes, in milliseconds
// (0: none, the default). Read once per process from QVN_CONNECT_TIMEOUT_MS,
// QVN_IO_TIMEOUT_MS and QVN_OPERATION_TIMEOUT_MS.
struct SocketTimeouts {
  int32_t connect_ms = 0;    // a TCP connect (name resolution is not included)
  int32_t io_ms = 0;         // one wait for the peer without progress, either way
  int32_t operation_ms = 0;  // a whole request exchange or file entry (see Deadline)
};
SocketTimeouts HostTimeouts();
// Tests: stands in for the environment until called with nullopt.
void SetHostTimeoutsForTesting(std::optional<SocketTimeouts> timeouts);
// A variable's value as a bound: a whole number of milliseconds above 0 (at
// most nine digits), or 0 (no limit) for an empty, zero, negative or
// malformed value.
int32_t ParseTimeoutMs(const std::string& value);

// The moment a whole operation must be over, or never. It caps every wait of
// the connections it is given to (connect, receive, send, the wait for the
// peer's end) at the time left; no thread watches it. Name resolution is the
// system's and is not bounded.
class Deadline {
 public:
  Deadline() = default;  // never
  // bound_ms from now; 0 or less: never.
  explicit Deadline(int32_t bound_ms);
  // The host's operation bound (QVN_OPERATION_TIMEOUT_MS), from now.
  static Deadline ForOperation();

  bool IsSet() const { return bound_ms_ > 0; }
  int32_t bound_ms() const { return bound_ms_; }
  bool Passed() const;
  // True when the deadline ends a wait of wait_ms (0 or less: none) first.
  bool Caps(int32_t wait_ms) const;
  // wait_ms (0 or less: none) cut to what is left, at least 1 ms; unchanged
  // when no deadline is set.
  int32_t Cap(int32_t wait_ms) const;
  // Raises TimeoutError naming the bound and what waited.
  [[noreturn]] void Fail(const char* waiting_for) const;

 private:
  int32_t bound_ms_ = 0;
  std::chrono::steady_clock::time_point at_{};
};

// A connected client socket. Writes never raise SIGPIPE.
class Connection : public ByteSource, public ByteSink {
 public:
  Connection() = default;
  ~Connection();
  Connection(Connection&& other) noexcept;
  Connection& operator=(Connection&& other) noexcept;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Resolves host (name or dotted IPv4) and connects, within the host's
  // connect time-out when one is set; every later wait for the peer is bounded
  // by the host's I/O time-out. Raises ConnectionError on any failure,
  // TimeoutError when a bound runs out.
  static Connection Open(const Text& host, uint16_t port);
  // The same within the given bounds instead of the host's (a server that
  // hands a message on must not wait on its receiver forever).
  static Connection Open(const Text& host, uint16_t port, SocketTimeouts bounds);
  // The same, and every wait from the connect on ends by `deadline` at the
  // latest (TimeoutError naming it).
  static Connection Open(const Text& host, uint16_t port, SocketTimeouts bounds,
                         const Deadline& deadline);

  bool IsOpen() const;
  void SendAll(const uint8_t* data, size_t n) override;
  // Sends count pieces of n bytes each, in order, as one SendAll after another
  // would; pieces need not be adjacent (one system call takes them all where
  // the system gathers).
  void SendPieces(const uint8_t* const* pieces, size_t count, size_t n);
  size_t ReceiveSome(uint8_t* data, size_t n) override;
  bool PeerClosedAndDrained() override;
  // Turns on TCP keep-alive so a vanished peer is noticed eventually.
  void EnableKeepAlive();
  // Ends the sending direction (the peer reads end-of-file) and keeps
  // receiving; harmless when not open.
  void ShutdownSend();
  // Waits at most timeout_ms for the peer to end the connection, dropping
  // whatever it sends meanwhile: true for an orderly end, false when the time
  // ran out (TimeoutError when the connection's deadline ran out first).
  // Raises PeerEndedError for a reset, ConnectionError otherwise.
  bool WaitForPeerEnd(int32_t timeout_ms);
  // Waits at most timeout_ms (negative: no limit) until one of the open
  // connections has something to read: data, an end or an error. The index
  // of the first such one, or -1 when the time ran out. For the relays of
  // stand-in servers, which serve both directions on one thread. Raises
  // ConnectionError.
  static int WaitReadable(Connection* const* connections, size_t count, int32_t timeout_ms);
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
  [[noreturn]] void FailTimedOut(const char* waiting_for) const;
  // The next wait's bound: wait_ms (0: none) cut to what is left of the
  // deadline; remembers which of the two it is for FailTimedOut. Raises
  // TimeoutError when the deadline has passed already.
  int32_t CapWait(int32_t wait_ms);
  // Before a blocking send or receive: with a deadline, the socket's wait
  // bound becomes CapWait(io_timeout_ms_).
  void ArmWait();

  intptr_t socket_ = -1;
  int32_t io_timeout_ms_ = 0;
  Deadline deadline_;
  bool deadline_caps_wait_ = false;
};

// The IPv4 addresses a host name (or dotted IPv4) resolves to, in host byte
// order and the resolver's order. Raises ConnectionError.
std::vector<uint32_t> ResolveIpv4(const Text& host);

// Connects, then waits for the socket to be writable with no error; true only
// then. A positive timeout_ms bounds the connect and the wait together; 0
// bounds neither the connect (the host's connect time-out still does) and
// only polls after it; negative: no limit. Never raises.
bool ProbeConnect(const Text& host, uint16_t port, int32_t timeout_ms);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_SOCKET_H_
