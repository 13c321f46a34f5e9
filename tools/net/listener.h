// Accepting connections: only the stand-in servers of tests and tools listen,
// so this stays out of the client library.
#ifndef QVN_TOOLS_NET_LISTENER_H_
#define QVN_TOOLS_NET_LISTENER_H_

#include <cstdint>
#include <string>

#include "platform/socket.h"

namespace qvn::net {

// A listening socket on an IPv4 address; port 0 picks a free port. The
// backlog is the system's largest unless given (tests fill a small one).
class Listener {
 public:
  // Raises ConnectionError.
  Listener(const std::string& address, uint16_t port, int backlog = -1);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  uint16_t port() const { return port_; }
  // Connections accepted from now on fail a read or write that makes no
  // progress for io_timeout_ms (ConnectionError); 0: no limit.
  void SetIoTimeout(int io_timeout_ms) { io_timeout_ms_ = io_timeout_ms; }
  // Waits up to timeout_ms (negative: no limit) for a connection; returns a
  // closed Connection on time-out. Raises ConnectionError on error. The
  // peer's "address:port" goes to peer_name when given.
  platform::Connection Accept(int timeout_ms, std::string* peer_name = nullptr);
  void Close();

 private:
  intptr_t socket_ = -1;
  uint16_t port_ = 0;
  int io_timeout_ms_ = 0;
};

}  // namespace qvn::net

#endif  // QVN_TOOLS_NET_LISTENER_H_
