// BSD sockets. Every call that may be interrupted by a signal is retried, and
// writes use MSG_NOSIGNAL so a peer that went away never kills the host.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "base/errors.h"
#include "platform/socket.h"

namespace qvn::platform {
namespace {

constexpr intptr_t kNoSocket = -1;

[[noreturn]] void Fail(const char* what, int code) {
  throw ConnectionError(std::string(what) + ": " + std::strerror(code));
}

// Owns the result list of getaddrinfo.
class AddressList {
 public:
  AddressList(const Text& host, uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    std::string name = TextToUtf8(host);
    std::string service = std::to_string(port);
    int rc = getaddrinfo(name.c_str(), service.c_str(), &hints, &list_);
    if (rc != 0) {
      list_ = nullptr;
      throw ConnectionError(std::string("cannot resolve host: ") + gai_strerror(rc));
    }
  }
  ~AddressList() {
    if (list_ != nullptr) freeaddrinfo(list_);
  }
  AddressList(const AddressList&) = delete;
  AddressList& operator=(const AddressList&) = delete;
  const addrinfo* get() const { return list_; }

 private:
  addrinfo* list_ = nullptr;
};

void CloseFd(int fd) {
  // close() is not retried on EINTR: on Linux the descriptor is gone anyway.
  ::close(fd);
}

// Connects a blocking IPv4 stream socket to the first address that accepts.
// Returns the descriptor or raises ConnectionError.
int ConnectBlocking(const Text& host, uint16_t port) {
  // Windows would take an empty name for the local machine; neither platform does.
  if (host.empty()) throw ConnectionError("no host given");
  AddressList addresses(host, port);
  int last_error = ECONNREFUSED;
  for (const addrinfo* a = addresses.get(); a != nullptr; a = a->ai_next) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) Fail("cannot create socket", errno);
    int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
    if (rc != 0 && errno == EINTR) {
      // The connect goes on in the background; wait for its outcome.
      pollfd p{fd, POLLOUT, 0};
      while ((rc = ::poll(&p, 1, -1)) < 0 && errno == EINTR) {
      }
      int err = 0;
      socklen_t len = sizeof err;
      if (rc > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) {
        return fd;
      }
      errno = err != 0 ? err : ECONNREFUSED;
      rc = -1;
    }
    if (rc == 0) return fd;
    last_error = errno;
    CloseFd(fd);
  }
  Fail("cannot connect", last_error);
}

// Milliseconds left of a wait that started at `start`; negative means no limit.
int Remaining(int timeout_ms, std::chrono::steady_clock::time_point start) {
  if (timeout_ms < 0) return -1;
  auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
                   .count();
  return spent >= timeout_ms ? 0 : static_cast<int>(timeout_ms - spent);
}

}  // namespace

Connection::~Connection() { Close(); }

Connection::Connection(Connection&& other) noexcept : socket_(other.socket_) {
  other.socket_ = kNoSocket;
}

Connection& Connection::operator=(Connection&& other) noexcept {
  if (this != &other) {
    Close();
    socket_ = other.socket_;
    other.socket_ = kNoSocket;
  }
  return *this;
}

Connection Connection::Open(const Text& host, uint16_t port) {
  return Connection(static_cast<intptr_t>(ConnectBlocking(host, port)));
}

bool Connection::IsOpen() const { return socket_ != kNoSocket; }

void Connection::SendAll(const uint8_t* data, size_t n) {
  if (!IsOpen()) throw ConnectionError("connection not open");
  int fd = static_cast<int>(socket_);
  while (n > 0) {
    ssize_t sent = ::send(fd, data, n, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      Fail("send failed", errno);
    }
    data += sent;
    n -= static_cast<size_t>(sent);
  }
}

void Connection::ReceiveExact(uint8_t* data, size_t n) {
  while (n > 0) {
    size_t got = ReceiveSome(data, n);
    if (got == 0) throw ConnectionError("connection closed by the peer");
    data += got;
    n -= got;
  }
}

size_t Connection::ReceiveSome(uint8_t* data, size_t n) {
  if (!IsOpen()) throw ConnectionError("connection not open");
  if (n == 0) return 0;
  int fd = static_cast<int>(socket_);
  for (;;) {
    ssize_t got = ::recv(fd, data, n, 0);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno != EINTR) Fail("receive failed", errno);
  }
}

bool Connection::PeerClosedAndDrained() {
  if (!IsOpen()) return true;
  int fd = static_cast<int>(socket_);
  uint8_t probe;
  for (;;) {
    ssize_t got = ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (got == 0) return true;
    if (got > 0) return false;
    if (errno == EINTR) continue;
    // Nothing yet (EAGAIN), or an error that the next read will report.
    return false;
  }
}

void Connection::EnableKeepAlive() {
  if (!IsOpen()) return;
  int on = 1;
  ::setsockopt(static_cast<int>(socket_), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
}

void Connection::Close() {
  if (!IsOpen()) return;
  int fd = static_cast<int>(socket_);
  socket_ = kNoSocket;
  ::shutdown(fd, SHUT_RDWR);
  CloseFd(fd);
}

void Connection::Shutdown() {
  if (IsOpen()) ::shutdown(static_cast<int>(socket_), SHUT_RDWR);
}

Listener::Listener(const std::string& address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
    throw ConnectionError("not a dotted IPv4 address: " + address);
  }
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) Fail("cannot create socket", errno);
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      ::listen(fd, SOMAXCONN) != 0) {
    int err = errno;
    CloseFd(fd);
    Fail("cannot listen", err);
  }
  socklen_t len = sizeof sa;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    int err = errno;
    CloseFd(fd);
    Fail("cannot read the listening port", err);
  }
  socket_ = fd;
  port_ = ntohs(sa.sin_port);
}

Listener::~Listener() { Close(); }

Connection Listener::Accept(int timeout_ms) {
  if (socket_ == kNoSocket) throw ConnectionError("listener closed");
  int fd = static_cast<int>(socket_);
  auto start = std::chrono::steady_clock::now();
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    int rc = ::poll(&p, 1, Remaining(timeout_ms, start));
    if (rc < 0) {
      if (errno == EINTR) continue;
      Fail("waiting for a connection failed", errno);
    }
    if (rc == 0) return Connection();
    int client = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (client >= 0) return Connection(static_cast<intptr_t>(client));
    if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN) continue;
    Fail("accept failed", errno);
  }
}

void Listener::Close() {
  if (socket_ == kNoSocket) return;
  int fd = static_cast<int>(socket_);
  socket_ = kNoSocket;
  CloseFd(fd);
}

bool ProbeConnect(const Text& host, uint16_t port, int32_t timeout_ms) {
  int fd;
  try {
    fd = ConnectBlocking(host, port);
  } catch (...) {
    return false;
  }
  // The connect has completed; the wait only confirms that the socket is
  // ready to write and carries no pending error.
  bool ready = false;
  auto start = std::chrono::steady_clock::now();
  for (;;) {
    pollfd p{fd, POLLOUT, 0};
    int rc = ::poll(&p, 1, Remaining(timeout_ms, start));
    if (rc < 0 && errno == EINTR) continue;
    if (rc > 0 && (p.revents & POLLOUT) && !(p.revents & (POLLERR | POLLNVAL))) {
      int err = 0;
      socklen_t len = sizeof err;
      ready = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
    }
    break;
  }
  ::shutdown(fd, SHUT_RDWR);
  CloseFd(fd);
  return ready;
}

}  // namespace qvn::platform
