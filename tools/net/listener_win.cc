#include <winsock2.h>
#include <ws2tcpip.h>

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
  platform::StartSockets();
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
    throw ConnectionError("not a dotted IPv4 address: " + address);
  }
  SOCKET s = platform::NewSocket();
  // Windows reuses TIME_WAIT ports by default; SO_REUSEADDR there would let a
  // second socket take over a port already listened on, so it stays off and
  // the port is kept exclusive.
  BOOL on = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  int len = sizeof sa;
  if (::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      ::listen(s, backlog < 0 ? SOMAXCONN : backlog) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    int err = ::WSAGetLastError();
    ::closesocket(s);
    FailSocket("cannot listen", err);
  }
  socket_ = static_cast<intptr_t>(s);
  port_ = ntohs(sa.sin_port);
}

Listener::~Listener() { Close(); }

Connection Listener::Accept(int timeout_ms, std::string* peer_name) {
  if (socket_ == -1) throw ConnectionError("listener closed");
  SOCKET s = static_cast<SOCKET>(socket_);
  auto start = std::chrono::steady_clock::now();
  for (;;) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    int left = platform::Remaining(timeout_ms, start);
    timeval tv{left / 1000, (left % 1000) * 1000};
    int rc = ::select(0, &readable, nullptr, nullptr, left < 0 ? nullptr : &tv);
    if (rc == SOCKET_ERROR) {
      int err = ::WSAGetLastError();
      if (err == WSAEINTR) continue;
      FailSocket("waiting for a connection failed", err);
    }
    if (rc == 0) return Connection();
    sockaddr_in peer{};
    int len = sizeof peer;
    SOCKET client = ::accept(s, reinterpret_cast<sockaddr*>(&peer), &len);
    if (client != INVALID_SOCKET) {
      if (io_timeout_ms_ > 0) {
        DWORD ms = static_cast<DWORD>(io_timeout_ms_);
        ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
        ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
      }
      if (peer_name != nullptr) *peer_name = AddressText(peer);
      return Connection(static_cast<intptr_t>(client));
    }
    int err = ::WSAGetLastError();
    if (err == WSAEINTR || err == WSAECONNRESET || err == WSAEWOULDBLOCK) continue;
    FailSocket("accept failed", err);
  }
}

void Listener::Close() {
  if (socket_ == -1) return;
  ::closesocket(static_cast<SOCKET>(socket_));
  socket_ = -1;
}

}  // namespace qvn::net
