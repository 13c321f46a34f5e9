// Server-side TCP: a listener that wakes up regularly so shutdown is prompt,
// and accepted connections with read/write time-outs and a peer name for logs.
#ifndef QVN_SERVER_NET_H_
#define QVN_SERVER_NET_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/text.h"

namespace qvn::server {

// A socket failed, timed out, or the peer closed before we had what we need.
class NetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Peer {
 public:
  Peer(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  ~Peer();
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  int fd() const { return fd_; }
  const std::string& name() const { return name_; }
  void SetTimeout(int milliseconds);  // for every later read and write
  void ReadExact(uint8_t* data, size_t n);
  void WriteAll(const uint8_t* data, size_t n);

 private:
  int fd_;
  std::string name_;
};

class ServerSocket {
 public:
  ServerSocket(const std::string& address, uint16_t port);  // raises NetError
  ~ServerSocket();
  ServerSocket(const ServerSocket&) = delete;
  ServerSocket& operator=(const ServerSocket&) = delete;

  uint16_t port() const { return port_; }
  // Waits up to timeout_ms; nothing on time-out. Raises NetError on failure.
  std::optional<std::pair<int, std::string>> Accept(int timeout_ms);

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// Request-port framing as the client writes it: 4-byte big-endian byte count,
// then UTF-16LE. Counts that are negative or above max_bytes are refused
// (NetError) before anything is allocated.
Text ReadFrame(Peer& peer, size_t max_bytes);
void WriteFrame(Peer& peer, const Text& text);
// The same frame on a plain descriptor (message delivery to a receiver).
void WriteFrameFd(int fd, const Text& text);

// Resolves host to IPv4; true when every address it has is a loopback one.
// Raises NetError when it does not resolve.
bool IsLoopbackHost(const std::string& host);
// Connects to host:port within timeout_ms; returns the descriptor or raises.
int ConnectWithTimeout(const std::string& host, uint16_t port, int timeout_ms);

}  // namespace qvn::server

#endif  // QVN_SERVER_NET_H_
