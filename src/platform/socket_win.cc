// Winsock. The library starts Winsock itself on the first socket it needs
// (once, from whichever thread comes first), never from DllMain, where
// WSAStartup must not be called.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <mutex>
#include <string>

#include "base/errors.h"
#include "platform/socket.h"

namespace qvn::platform {
namespace {

constexpr intptr_t kNoSocket = -1;
static_assert(sizeof(wchar_t) == sizeof(char16_t));
static_assert(static_cast<intptr_t>(INVALID_SOCKET) == kNoSocket);

// Largest piece handed to send() or recv() at once; they take an int length.
constexpr size_t kMaxPiece = 1 << 20;

[[noreturn]] void Fail(const char* what, int code) {
  throw ConnectionError(std::string(what) + " (Winsock error " + std::to_string(code) + ")");
}

void StartWinsock() {
  static std::once_flag once;
  static int startup_error = 0;
  std::call_once(once, [] {
    WSADATA data;
    startup_error = ::WSAStartup(MAKEWORD(2, 2), &data);
  });
  if (startup_error != 0) Fail("cannot start Winsock", startup_error);
}

SOCKET AsSocket(intptr_t s) { return static_cast<SOCKET>(s); }

// Owns the result list of GetAddrInfoW. The wide call keeps host names that
// the ANSI code page cannot spell.
class AddressList {
 public:
  AddressList(const Text& host, uint16_t port) {
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    std::wstring service = std::to_wstring(port);
    int rc = ::GetAddrInfoW(reinterpret_cast<const wchar_t*>(host.c_str()), service.c_str(),
                            &hints, &list_);
    if (rc != 0) {
      list_ = nullptr;
      Fail("cannot resolve host", rc);
    }
  }
  ~AddressList() {
    if (list_ != nullptr) ::FreeAddrInfoW(list_);
  }
  AddressList(const AddressList&) = delete;
  AddressList& operator=(const AddressList&) = delete;
  const ADDRINFOW* get() const { return list_; }

 private:
  ADDRINFOW* list_ = nullptr;
};

// Connects a blocking IPv4 stream socket to the first address that accepts.
SOCKET ConnectBlocking(const Text& host, uint16_t port) {
  // Windows would take an empty name for the local machine; neither platform does.
  if (host.empty()) throw ConnectionError("no host given");
  StartWinsock();
  AddressList addresses(host, port);
  int last_error = WSAECONNREFUSED;
  for (const ADDRINFOW* a = addresses.get(); a != nullptr; a = a->ai_next) {
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) Fail("cannot create socket", ::WSAGetLastError());
    if (::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) return s;
    last_error = ::WSAGetLastError();
    ::closesocket(s);
  }
  Fail("cannot connect", last_error);
}

// A select() time-out: whole seconds plus the remaining milliseconds.
timeval Interval(int timeout_ms) {
  timeval tv;
  tv.tv_sec = timeout_ms / 1000;
  tv.tv_usec = (timeout_ms % 1000) * 1000;
  return tv;
}

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
  while (n > 0) {
    int piece = static_cast<int>(n < kMaxPiece ? n : kMaxPiece);
    int sent = ::send(AsSocket(socket_), reinterpret_cast<const char*>(data), piece, 0);
    if (sent == SOCKET_ERROR) {
      int err = ::WSAGetLastError();
      if (err == WSAEINTR) continue;
      Fail("send failed", err);
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
  int piece = static_cast<int>(n < kMaxPiece ? n : kMaxPiece);
  for (;;) {
    int got = ::recv(AsSocket(socket_), reinterpret_cast<char*>(data), piece, 0);
    if (got != SOCKET_ERROR) return static_cast<size_t>(got);
    int err = ::WSAGetLastError();
    if (err != WSAEINTR) Fail("receive failed", err);
  }
}

bool Connection::PeerClosedAndDrained() {
  if (!IsOpen()) return true;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(AsSocket(socket_), &readable);
  timeval now{0, 0};
  if (::select(0, &readable, nullptr, nullptr, &now) != 1) return false;
  // Readable: either data waits or the peer has closed. Peeking tells which
  // without taking anything.
  char probe;
  int got = ::recv(AsSocket(socket_), &probe, 1, MSG_PEEK);
  return got == 0;
}

void Connection::EnableKeepAlive() {
  if (!IsOpen()) return;
  BOOL on = TRUE;
  ::setsockopt(AsSocket(socket_), SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on),
               sizeof on);
}

void Connection::Close() {
  if (!IsOpen()) return;
  SOCKET s = AsSocket(socket_);
  socket_ = kNoSocket;
  ::shutdown(s, SD_BOTH);
  ::closesocket(s);
}

void Connection::Shutdown() {
  if (IsOpen()) ::shutdown(AsSocket(socket_), SD_BOTH);
}

Listener::Listener(const std::string& address, uint16_t port) {
  StartWinsock();
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
    throw ConnectionError("not a dotted IPv4 address: " + address);
  }
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) Fail("cannot create socket", ::WSAGetLastError());
  // Windows reuses TIME_WAIT ports by default; SO_REUSEADDR there would let a
  // second socket take over a port already listened on, so it stays off and
  // the port is kept exclusive.
  BOOL on = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  if (::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      ::listen(s, SOMAXCONN) != 0) {
    int err = ::WSAGetLastError();
    ::closesocket(s);
    Fail("cannot listen", err);
  }
  int len = sizeof sa;
  if (::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    int err = ::WSAGetLastError();
    ::closesocket(s);
    Fail("cannot read the listening port", err);
  }
  socket_ = static_cast<intptr_t>(s);
  port_ = ntohs(sa.sin_port);
}

Listener::~Listener() { Close(); }

Connection Listener::Accept(int timeout_ms) {
  if (socket_ == kNoSocket) throw ConnectionError("listener closed");
  SOCKET s = AsSocket(socket_);
  auto start = std::chrono::steady_clock::now();
  for (;;) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    int left = Remaining(timeout_ms, start);
    timeval tv = Interval(left < 0 ? 0 : left);
    int rc = ::select(0, &readable, nullptr, nullptr, left < 0 ? nullptr : &tv);
    if (rc == SOCKET_ERROR) {
      int err = ::WSAGetLastError();
      if (err == WSAEINTR) continue;
      Fail("waiting for a connection failed", err);
    }
    if (rc == 0) return Connection();
    SOCKET client = ::accept(s, nullptr, nullptr);
    if (client != INVALID_SOCKET) return Connection(static_cast<intptr_t>(client));
    int err = ::WSAGetLastError();
    if (err == WSAEINTR || err == WSAECONNRESET || err == WSAEWOULDBLOCK) continue;
    Fail("accept failed", err);
  }
}

void Listener::Close() {
  if (socket_ == kNoSocket) return;
  SOCKET s = AsSocket(socket_);
  socket_ = kNoSocket;
  ::closesocket(s);
}

bool ProbeConnect(const Text& host, uint16_t port, int32_t timeout_ms) {
  SOCKET s;
  try {
    s = ConnectBlocking(host, port);
  } catch (...) {
    return false;
  }
  // The connect has completed; the wait only confirms that the socket is
  // writable and reports no error condition.
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s, &writable);
  FD_SET(s, &failed);
  timeval tv = Interval(timeout_ms < 0 ? 0 : timeout_ms);
  int rc = ::select(0, nullptr, &writable, &failed, timeout_ms < 0 ? nullptr : &tv);
  bool ready = rc > 0 && FD_ISSET(s, &writable) && !FD_ISSET(s, &failed);
  if (ready) {
    int err = 0;
    int len = sizeof err;
    ready = ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) == 0 &&
            err == 0;
  }
  ::shutdown(s, SD_BOTH);
  ::closesocket(s);
  return ready;
}

}  // namespace qvn::platform
