// BSD sockets. Every call that may be interrupted by a signal is retried, and
// writes use MSG_NOSIGNAL so a peer that went away never kills the host.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "base/debug_log.h"
#include "base/errors.h"
#include "platform/cancellation_posix.h"
#include "platform/fault_injection.h"
#include "platform/socket.h"
#include "platform/socket_native.h"

namespace qvn::platform {
namespace {

constexpr intptr_t kNoSocket = -1;

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
    int rc = fault::Injected(fault::Op::kResolve)
                 ? EAI_AGAIN
                 : getaddrinfo(name.c_str(), service.c_str(), &hints, &list_);
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
  const CancellationHeldOff held_off;  // called from destructors
  ::close(fd);
}

void SetNonBlocking(int fd, bool on) {
  const int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK);
}

// Connects a blocking IPv4 stream socket to the first address that accepts,
// all of them within bound_ms when it is above 0. Returns the descriptor or
// raises ConnectionError (TimeoutError when the bound runs out).
int ConnectWithin(const Text& host, uint16_t port, int32_t bound_ms) {
  // Windows would take an empty name for the local machine; neither platform does.
  if (host.empty()) throw ConnectionError("no host given");
  AddressList addresses(host, port);
  const auto start = std::chrono::steady_clock::now();
  const int limit = bound_ms > 0 ? bound_ms : -1;
  int last_error = ECONNREFUSED;
  for (const addrinfo* a = addresses.get(); a != nullptr; a = a->ai_next) {
    int fd = fault::Injected(fault::Op::kSocket)
                 ? -1
                 : ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) FailSocket("cannot create socket", errno);
    // Bounded: a connect that cannot block, and a wait for its outcome.
    if (limit > 0) SetNonBlocking(fd, true);
    int rc = fault::Injected(fault::Op::kConnect) ? -1 : ::connect(fd, a->ai_addr, a->ai_addrlen);
    if (rc != 0 && (errno == EINPROGRESS || errno == EINTR)) {
      // The connect goes on in the background; wait for its outcome.
      pollfd p{fd, POLLOUT, 0};
      do {
        rc = fault::Injected(fault::Op::kWait) ? -1 : ::poll(&p, 1, Remaining(limit, start));
      } while (rc < 0 && errno == EINTR);
      if (rc == 0) {
        CloseFd(fd);
        FailConnectTimedOut(bound_ms);
      }
      int err = 0;
      socklen_t len = sizeof err;
      if (rc > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) {
        rc = 0;
      } else {
        errno = err != 0 ? err : ECONNREFUSED;
        rc = -1;
      }
    }
    if (rc == 0) {
      if (limit > 0) SetNonBlocking(fd, false);
      return fd;
    }
    last_error = errno;
    CloseFd(fd);
  }
  FailSocket("cannot connect", last_error);
}

// Every later wait of a blocking call ends after ms without progress (EAGAIN).
void SetIoTimeout(int fd, int32_t ms) {
  if (ms <= 0) return;
  const timeval tv{ms / 1000, static_cast<suseconds_t>(ms % 1000) * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

}  // namespace

void StartSockets() {}

std::vector<uint32_t> ResolveIpv4(const Text& host) {
  AddressList addresses(host, 0);
  std::vector<uint32_t> out;
  for (const addrinfo* a = addresses.get(); a != nullptr; a = a->ai_next) {
    out.push_back(ntohl(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr));
  }
  return out;
}

[[noreturn]] void FailSocket(const char* what, int code) {
  std::string text = std::string(what) + ": " + std::strerror(code);
  if (code == EPIPE || code == ECONNRESET) throw PeerEndedError(text);
  throw ConnectionError(text);
}

Connection Connection::Open(const Text& host, uint16_t port, SocketTimeouts timeouts) {
  Connection connection(static_cast<intptr_t>(ConnectWithin(host, port, timeouts.connect_ms)));
  SetIoTimeout(static_cast<int>(connection.socket_), timeouts.io_ms);
  connection.io_timeout_ms_ = timeouts.io_ms;
  return connection;
}

void Connection::ArmWait() {
  if (deadline_.IsSet()) SetIoTimeout(static_cast<int>(socket_), CapWait(io_timeout_ms_));
}

void Connection::SendAll(const uint8_t* data, size_t n) {
  if (!IsOpen()) throw ConnectionError("connection not open");
  int fd = static_cast<int>(socket_);
  while (n > 0) {
    ArmWait();
    ssize_t sent = fault::Injected(fault::Op::kSend) ? -1 : ::send(fd, data, n, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) FailTimedOut("sending");
      FailSocket("send failed", errno);
    }
    data += sent;
    n -= static_cast<size_t>(sent);
  }
}

void Connection::SendPieces(const uint8_t* const* pieces, size_t count, size_t n) {
  if (!IsOpen()) throw ConnectionError("connection not open");
  if (n == 0) return;
  int fd = static_cast<int>(socket_);
  constexpr size_t kMaxParts = 64;
  iovec parts[kMaxParts];
  for (size_t first = 0; first < count; first += kMaxParts) {
    const size_t m = std::min(count - first, kMaxParts);
    for (size_t i = 0; i < m; ++i) parts[i] = {const_cast<uint8_t*>(pieces[first + i]), n};
    iovec* next = parts;
    size_t left = m;
    while (left > 0) {
      msghdr msg{};
      msg.msg_iov = next;
      msg.msg_iovlen = left;
      ArmWait();
      ssize_t sent = fault::Injected(fault::Op::kSend) ? -1 : ::sendmsg(fd, &msg, MSG_NOSIGNAL);
      if (sent < 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) FailTimedOut("sending");
        FailSocket("send failed", errno);
      }
      // Skip what went out: whole pieces, then the front of a partial one.
      for (size_t done = static_cast<size_t>(sent); done > 0;) {
        const size_t take = std::min(done, next->iov_len);
        next->iov_base = static_cast<uint8_t*>(next->iov_base) + take;
        next->iov_len -= take;
        done -= take;
        if (next->iov_len == 0) ++next, --left;
      }
    }
  }
}

size_t Connection::ReceiveSome(uint8_t* data, size_t n) {
  if (!IsOpen()) throw ConnectionError("connection not open");
  if (n == 0) return 0;
  int fd = static_cast<int>(socket_);
  for (;;) {
    ArmWait();
    ssize_t got = fault::Injected(fault::Op::kReceive) ? -1 : ::recv(fd, data, n, 0);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno == EAGAIN || errno == EWOULDBLOCK) FailTimedOut("waiting for the peer");
    if (errno != EINTR) FailSocket("receive failed", errno);
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
    if (errno == EAGAIN || errno == EWOULDBLOCK) return false;  // nothing yet
    // A peek takes the socket's pending error with it (a reset would read as
    // an orderly close next): reported here instead.
    FailSocket("receive failed", errno);
  }
}

void Connection::EnableKeepAlive() {
  if (!IsOpen()) return;
  int on = 1;
  ::setsockopt(static_cast<int>(socket_), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
}

bool Connection::WaitForPeerEnd(int32_t timeout_ms) {
  if (!IsOpen()) throw ConnectionError("connection not open");
  const int fd = static_cast<int>(socket_);
  const auto start = std::chrono::steady_clock::now();
  timeout_ms = CapWait(timeout_ms);
  uint8_t dropped[512];
  for (;;) {
    const int left = std::max(Remaining(timeout_ms, start), 0);
    pollfd p{fd, POLLIN, 0};
    const int rc = fault::Injected(fault::Op::kWait) ? -1 : ::poll(&p, 1, left);
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0) FailSocket("waiting for the peer failed", errno);
    if (rc == 0 && deadline_caps_wait_) FailTimedOut("waiting for the peer's end");
    if (rc == 0) return false;
    const ssize_t got = ::recv(fd, dropped, sizeof dropped, MSG_DONTWAIT);
    if (got == 0) {
      // A reset also reads as the end here (the connection is done before
      // its error is looked at); the pending error tells the two apart.
      int err = 0;
      socklen_t len = sizeof err;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err != 0)
        FailSocket("the peer ended the connection", err);
      return true;
    }
    if (got < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)
      FailSocket("receive failed", errno);
  }
}

int Connection::WaitReadable(Connection* const* connections, size_t count, int32_t timeout_ms) {
  constexpr size_t kMost = 8;
  if (count > kMost) throw ConnectionError("too many connections to wait for");
  pollfd p[kMost];
  for (size_t i = 0; i < count; ++i) {
    p[i] = {connections[i]->IsOpen() ? static_cast<int>(connections[i]->socket_) : -1, POLLIN, 0};
  }
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const int rc = ::poll(p, count, Remaining(timeout_ms, start));
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0) FailSocket("waiting for the peers failed", errno);
    if (rc == 0) return -1;
    for (size_t i = 0; i < count; ++i) {
      if (p[i].revents != 0) return static_cast<int>(i);
    }
  }
}

void Connection::ShutdownSend() {
  if (IsOpen()) ::shutdown(static_cast<int>(socket_), SHUT_WR);
}

void Connection::Interrupt() {
  if (IsOpen()) ::shutdown(static_cast<int>(socket_), SHUT_RDWR);
}

void Connection::Close() {
  if (!IsOpen()) return;
  int fd = static_cast<int>(socket_);
  socket_ = kNoSocket;
  ::shutdown(fd, SHUT_RDWR);
  CloseFd(fd);
}

void Connection::Abort() {
  if (!IsOpen()) return;
  int fd = static_cast<int>(socket_);
  socket_ = kNoSocket;
  const linger reset{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  CloseFd(fd);
}

bool ProbeConnect(const Text& host, uint16_t port, int32_t timeout_ms) {
  const auto start = std::chrono::steady_clock::now();
  int fd;
  try {
    fd = ConnectWithin(host, port,
                       TighterBound(timeout_ms > 0 ? timeout_ms : 0, HostTimeouts().connect_ms));
  } catch (const Error&) {
    ReportFailure("probe", host, port);
    return false;
  }
  // The connect has completed; the wait only confirms, in what is left of
  // the time-out, that the socket is ready to write and carries no error.
  bool ready = false;
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
  if (!ready) ReportFailure("probe", host, port, "connected but not ready in time");
  ::shutdown(fd, SHUT_RDWR);
  CloseFd(fd);
  return ready;
}

}  // namespace qvn::platform
