#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/time.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "base/errors.h"
#include "net/listener.h"
#include "platform/socket_native.h"

namespace qvn::net {

using platform::Connection;
using platform::FailSocket;

namespace {

// "address:port", the peer's name in a server's log.
std::string AddressText(const sockaddr_in& a) {
  char ip[INET_ADDRSTRLEN] = "?";
  ::inet_ntop(AF_INET, &a.sin_addr, ip, sizeof ip);
  return std::string(ip) + ":" + std::to_string(ntohs(a.sin_port));
}

}  // namespace

Listener::Listener(const std::string& address, uint16_t port, int backlog) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
    throw ConnectionError("not a dotted IPv4 address: " + address);
  }
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) FailSocket("cannot create socket", errno);
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  socklen_t len = sizeof sa;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      ::listen(fd, backlog < 0 ? SOMAXCONN : backlog) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    int err = errno;
    ::close(fd);
    FailSocket("cannot listen", err);
  }
  socket_ = fd;
  port_ = ntohs(sa.sin_port);
}

Listener::~Listener() { Close(); }

Connection Listener::Accept(int timeout_ms, std::string* peer_name) {
  if (socket_ == -1) throw ConnectionError("listener closed");
  int fd = static_cast<int>(socket_);
  auto start = std::chrono::steady_clock::now();
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    int rc = ::poll(&p, 1, platform::Remaining(timeout_ms, start));
    if (rc < 0) {
      if (errno == EINTR) continue;
      FailSocket("waiting for a connection failed", errno);
    }
    if (rc == 0) return Connection();
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    int client = ::accept4(fd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
    if (client >= 0) {
      if (io_timeout_ms_ > 0) {
        timeval tv{io_timeout_ms_ / 1000, (io_timeout_ms_ % 1000) * 1000};
        ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
      }
      if (peer_name != nullptr) *peer_name = AddressText(peer);
      return Connection(static_cast<intptr_t>(client));
    }
    if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN) continue;
    FailSocket("accept failed", errno);
  }
}

void Listener::Close() {
  if (socket_ == -1) return;
  ::close(static_cast<int>(socket_));
  socket_ = -1;
}

}  // namespace qvn::net
