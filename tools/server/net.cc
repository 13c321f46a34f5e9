#include "net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/bytes.h"

namespace qvn::server {
namespace {

[[noreturn]] void Fail(const std::string& what, int code) {
  throw NetError(what + ": " + std::strerror(code));
}

std::string PeerName(const sockaddr_in& a) {
  char ip[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &a.sin_addr, ip, sizeof ip);
  return std::string(ip) + ":" + std::to_string(ntohs(a.sin_port));
}

struct AddrList {
  addrinfo* list = nullptr;
  AddrList(const std::string& host, uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    std::string service = std::to_string(port);
    int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    if (rc != 0) {
      list = nullptr;
      throw NetError("cannot resolve " + host + ": " + gai_strerror(rc));
    }
  }
  ~AddrList() {
    if (list != nullptr) freeaddrinfo(list);
  }
  AddrList(const AddrList&) = delete;
  AddrList& operator=(const AddrList&) = delete;
};

void SendAllFd(int fd, const uint8_t* data, size_t n) {
  while (n > 0) {
    ssize_t k = ::send(fd, data, n, MSG_NOSIGNAL);
    if (k < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) throw NetError("write timed out");
      Fail("write failed", errno);
    }
    data += k;
    n -= static_cast<size_t>(k);
  }
}

std::vector<uint8_t> FrameBytes(const Text& text) {
  size_t n = text.size() * 2;
  std::vector<uint8_t> out(4 + n);
  PutBigEndian32(static_cast<uint32_t>(n), out.data());
  PutTextBytes(text, out.data() + 4);
  return out;
}

}  // namespace

Peer::~Peer() {
  if (fd_ >= 0) {
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
  }
}

void Peer::SetTimeout(int milliseconds) {
  timeval tv{};
  tv.tv_sec = milliseconds / 1000;
  tv.tv_usec = (milliseconds % 1000) * 1000;
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

void Peer::ReadExact(uint8_t* data, size_t n) {
  while (n > 0) {
    ssize_t k = ::recv(fd_, data, n, 0);
    if (k == 0) throw NetError("peer closed the connection early");
    if (k < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) throw NetError("read timed out");
      Fail("read failed", errno);
    }
    data += k;
    n -= static_cast<size_t>(k);
  }
}

void Peer::WriteAll(const uint8_t* data, size_t n) { SendAllFd(fd_, data, n); }

ServerSocket::ServerSocket(const std::string& address, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  if (inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1) {
    throw NetError("not an IPv4 address: " + address);
  }
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) Fail("cannot create socket", errno);
  int one = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    int e = errno;
    ::close(fd_);
    fd_ = -1;
    Fail("cannot listen on " + address + ":" + std::to_string(port), e);
  }
  if (::listen(fd_, 128) != 0) {
    int e = errno;
    ::close(fd_);
    fd_ = -1;
    Fail("listen failed", e);
  }
  socklen_t len = sizeof a;
  ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
}

ServerSocket::~ServerSocket() {
  if (fd_ >= 0) ::close(fd_);
}

std::optional<std::pair<int, std::string>> ServerSocket::Accept(int timeout_ms) {
  pollfd p{fd_, POLLIN, 0};
  int rc = ::poll(&p, 1, timeout_ms);
  if (rc < 0) {
    if (errno == EINTR) return std::nullopt;
    Fail("poll failed", errno);
  }
  if (rc == 0) return std::nullopt;
  sockaddr_in a{};
  socklen_t len = sizeof a;
  int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&a), &len, SOCK_CLOEXEC);
  if (fd < 0) {
    // A client that gave up between poll and accept, or a full table.
    if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN) return std::nullopt;
    Fail("accept failed", errno);
  }
  return std::make_pair(fd, PeerName(a));
}

Text ReadFrame(Peer& peer, size_t max_bytes) {
  uint8_t head[4];
  peer.ReadExact(head, 4);
  int32_t n = static_cast<int32_t>(GetBigEndian32(head));
  if (n < 0) throw NetError("not a request frame (negative length)");
  if (static_cast<size_t>(n) > max_bytes) {
    throw NetError("request of " + std::to_string(n) + " bytes is above the limit of " +
                   std::to_string(max_bytes));
  }
  std::vector<uint8_t> payload(static_cast<size_t>(n));
  if (n > 0) peer.ReadExact(payload.data(), payload.size());
  return BytesToText(payload.data(), payload.size());
}

void WriteFrame(Peer& peer, const Text& text) {
  std::vector<uint8_t> bytes = FrameBytes(text);
  peer.WriteAll(bytes.data(), bytes.size());
}

void WriteFrameFd(int fd, const Text& text) {
  std::vector<uint8_t> bytes = FrameBytes(text);
  SendAllFd(fd, bytes.data(), bytes.size());
}

bool IsLoopbackHost(const std::string& host) {
  AddrList list(host, 0);
  bool any = false;
  for (addrinfo* a = list.list; a != nullptr; a = a->ai_next) {
    auto* in = reinterpret_cast<sockaddr_in*>(a->ai_addr);
    if ((ntohl(in->sin_addr.s_addr) >> 24) != 127) return false;
    any = true;
  }
  return any;
}

int ConnectWithTimeout(const std::string& host, uint16_t port, int timeout_ms) {
  AddrList list(host, port);
  int last = ECONNREFUSED;
  for (addrinfo* a = list.list; a != nullptr; a = a->ai_next) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) Fail("cannot create socket", errno);
    int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      rc = ::poll(&p, 1, timeout_ms);
      int err = ETIMEDOUT;
      socklen_t len = sizeof err;
      if (rc > 0) ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
      rc = (rc > 0 && err == 0) ? 0 : -1;
      errno = err;
    }
    if (rc == 0) {
      int flags = ::fcntl(fd, F_GETFL);
      ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
      timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
      ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
      return fd;
    }
    last = errno;
    ::close(fd);
  }
  Fail("cannot connect to " + host + ":" + std::to_string(port), last);
}

}  // namespace qvn::server
