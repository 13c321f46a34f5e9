// Winsock. The library starts Winsock itself on the first socket it needs
// (once, from whichever thread comes first), never from DllMain, where
// WSAStartup must not be called.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>

#include "base/debug_log.h"
#include "base/errors.h"
#include "platform/error_text.h"
#include "platform/fault_injection.h"
#include "platform/socket.h"
#include "platform/socket_native.h"

namespace qvn::platform {
namespace {

constexpr intptr_t kNoSocket = -1;
static_assert(sizeof(wchar_t) == sizeof(char16_t));
static_assert(static_cast<intptr_t>(INVALID_SOCKET) == kNoSocket);

// Largest piece handed to send() or recv() at once; they take an int length.
constexpr size_t kMaxPiece = 1 << 20;

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
    int rc = fault::Injected(fault::Op::kResolve)
                 ? WSATRY_AGAIN
                 : ::GetAddrInfoW(reinterpret_cast<const wchar_t*>(host.c_str()), service.c_str(),
                                  &hints, &list_);
    if (rc != 0) {
      list_ = nullptr;
      FailSocket("cannot resolve host", rc);
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

}  // namespace

SOCKET NewSocket() {
  // Not inherited, so a child process the host starts meanwhile does not keep
  // the connection alive. Windows before 7 SP1 lacks the flag; there the
  // handle is made non-inheritable right after.
  constexpr DWORD kFlags = WSA_FLAG_OVERLAPPED;  // what socket() uses
  SOCKET s = fault::Injected(fault::Op::kSocket)
                 ? INVALID_SOCKET
                 : ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                kFlags | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL) {
    s = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, kFlags);
    if (s != INVALID_SOCKET) {
      ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    }
  }
  if (s == INVALID_SOCKET) FailSocket("cannot create socket", ::WSAGetLastError());
  return s;
}

namespace {

void SetNonBlocking(SOCKET s, bool on) {
  u_long mode = on ? 1 : 0;
  ::ioctlsocket(s, FIONBIO, &mode);
}

// A select() time-out: whole seconds plus the remaining milliseconds.
timeval Interval(int timeout_ms) {
  timeval tv;
  tv.tv_sec = timeout_ms / 1000;
  tv.tv_usec = (timeout_ms % 1000) * 1000;
  return tv;
}

// Connects a blocking IPv4 stream socket to the first address that accepts,
// all of them within bound_ms when it is above 0.
SOCKET ConnectWithin(const Text& host, uint16_t port, int32_t bound_ms) {
  // Windows would take an empty name for the local machine; neither platform does.
  if (host.empty()) throw ConnectionError("no host given");
  StartSockets();
  AddressList addresses(host, port);
  const auto start = std::chrono::steady_clock::now();
  int last_error = WSAECONNREFUSED;
  for (const ADDRINFOW* a = addresses.get(); a != nullptr; a = a->ai_next) {
    SOCKET s = NewSocket();
    if (bound_ms <= 0) {
      if (!fault::Injected(fault::Op::kConnect) &&
          ::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0)
        return s;
      last_error = ::WSAGetLastError();
      ::closesocket(s);
      continue;
    }
    // Bounded: a connect that cannot block, and a wait for its outcome.
    SetNonBlocking(s, true);
    int err = 0;
    if (fault::Injected(fault::Op::kConnect) ||
        ::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
      err = ::WSAGetLastError();
      if (err == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval tv = Interval(Remaining(bound_ms, start));
        const int rc = fault::Injected(fault::Op::kWait)
                           ? SOCKET_ERROR
                           : ::select(0, nullptr, &writable, &failed, &tv);
        if (rc == 0) {
          ::closesocket(s);
          FailConnectTimedOut(bound_ms);
        }
        // Connected: writable. Failed: in the error set, the cause in SO_ERROR.
        int len = sizeof err;
        err = 0;
        if (rc < 0 ||
            ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0) {
          err = ::WSAGetLastError();
        } else if (err == 0 && !FD_ISSET(s, &writable)) {
          err = WSAECONNREFUSED;
        }
      }
    }
    if (err == 0) {
      SetNonBlocking(s, false);
      return s;
    }
    last_error = err;
    ::closesocket(s);
  }
  FailSocket("cannot connect", last_error);
}

// Every later wait of a blocking call ends after ms without progress
// (WSAETIMEDOUT); the socket is closed after that, as Winsock requires.
void SetIoTimeout(SOCKET s, int32_t ms) {
  if (ms <= 0) return;
  const DWORD value = static_cast<DWORD>(ms);
  ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value), sizeof value);
  ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

void StartSockets() {
  static std::once_flag once;
  static int startup_error = 0;
  std::call_once(once, [] {
    WSADATA data;
    startup_error = ::WSAStartup(MAKEWORD(2, 2), &data);
  });
  if (startup_error != 0) FailSocket("cannot start Winsock", startup_error);
}

std::vector<uint32_t> ResolveIpv4(const Text& host) {
  StartSockets();
  AddressList addresses(host, 0);
  std::vector<uint32_t> out;
  for (const ADDRINFOW* a = addresses.get(); a != nullptr; a = a->ai_next) {
    out.push_back(::ntohl(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr));
  }
  return out;
}

[[noreturn]] void FailSocket(const char* what, int code) {
  std::string text = std::string(what) + ": " + SystemErrorText(static_cast<uint32_t>(code));
  if (code == WSAECONNRESET || code == WSAECONNABORTED) {
    throw PeerEndedError(text);
  }
  throw ConnectionError(text);
}

Connection Connection::Open(const Text& host, uint16_t port, SocketTimeouts timeouts) {
  Connection connection(static_cast<intptr_t>(ConnectWithin(host, port, timeouts.connect_ms)));
  SetIoTimeout(AsSocket(connection.socket_), timeouts.io_ms);
  connection.io_timeout_ms_ = timeouts.io_ms;
  return connection;
}

void Connection::ArmWait() {
  if (deadline_.IsSet()) SetIoTimeout(AsSocket(socket_), CapWait(io_timeout_ms_));
}

void Connection::SendAll(const uint8_t* data, size_t n) {
  if (!IsOpen()) throw ConnectionError("connection not open");
  while (n > 0) {
    ArmWait();
    int piece = static_cast<int>(n < kMaxPiece ? n : kMaxPiece);
    int sent = fault::Injected(fault::Op::kSend)
                   ? SOCKET_ERROR
                   : ::send(AsSocket(socket_), reinterpret_cast<const char*>(data), piece, 0);
    if (sent == SOCKET_ERROR) {
      int err = ::WSAGetLastError();
      if (err == WSAEINTR) continue;
      if (err == WSAETIMEDOUT && (io_timeout_ms_ > 0 || deadline_.IsSet()))
        FailTimedOut("sending");
      FailSocket("send failed", err);
    }
    data += sent;
    n -= static_cast<size_t>(sent);
  }
}

void Connection::SendPieces(const uint8_t* const* pieces, size_t count, size_t n) {
  for (size_t i = 0; i < count; ++i) SendAll(pieces[i], n);
}

size_t Connection::ReceiveSome(uint8_t* data, size_t n) {
  if (!IsOpen()) throw ConnectionError("connection not open");
  if (n == 0) return 0;
  int piece = static_cast<int>(n < kMaxPiece ? n : kMaxPiece);
  for (;;) {
    ArmWait();
    int got = fault::Injected(fault::Op::kReceive)
                  ? SOCKET_ERROR
                  : ::recv(AsSocket(socket_), reinterpret_cast<char*>(data), piece, 0);
    if (got != SOCKET_ERROR) return static_cast<size_t>(got);
    int err = ::WSAGetLastError();
    if (err == WSAETIMEDOUT && (io_timeout_ms_ > 0 || deadline_.IsSet()))
      FailTimedOut("waiting for the peer");
    if (err != WSAEINTR) FailSocket("receive failed", err);
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

bool Connection::WaitForPeerEnd(int32_t timeout_ms) {
  if (!IsOpen()) throw ConnectionError("connection not open");
  const auto start = std::chrono::steady_clock::now();
  timeout_ms = CapWait(timeout_ms);
  char dropped[512];
  for (;;) {
    const int left = std::max(Remaining(timeout_ms, start), 0);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(AsSocket(socket_), &readable);
    timeval wait{left / 1000, (left % 1000) * 1000};
    const int rc = fault::Injected(fault::Op::kWait)
                       ? SOCKET_ERROR
                       : ::select(0, &readable, nullptr, nullptr, &wait);
    if (rc == SOCKET_ERROR) FailSocket("waiting for the peer failed", ::WSAGetLastError());
    if (rc == 0 && deadline_caps_wait_) FailTimedOut("waiting for the peer's end");
    if (rc == 0) return false;
    // Readable: a recv returns at once.
    const int got = ::recv(AsSocket(socket_), dropped, sizeof dropped, 0);
    if (got == 0) return true;
    if (got == SOCKET_ERROR && ::WSAGetLastError() != WSAEINTR)
      FailSocket("receive failed", ::WSAGetLastError());
  }
}

int Connection::WaitReadable(Connection* const* connections, size_t count, int32_t timeout_ms) {
  fd_set readable;
  FD_ZERO(&readable);
  bool any = false;
  for (size_t i = 0; i < count; ++i) {
    if (connections[i]->IsOpen()) {
      FD_SET(AsSocket(connections[i]->socket_), &readable);
      any = true;
    }
  }
  if (!any) {
    ::Sleep(timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms));
    return -1;
  }
  timeval wait{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  const int rc = ::select(0, &readable, nullptr, nullptr, timeout_ms < 0 ? nullptr : &wait);
  if (rc == SOCKET_ERROR) FailSocket("waiting for the peers failed", ::WSAGetLastError());
  for (size_t i = 0; rc > 0 && i < count; ++i) {
    if (connections[i]->IsOpen() && FD_ISSET(AsSocket(connections[i]->socket_), &readable))
      return static_cast<int>(i);
  }
  return -1;
}

void Connection::ShutdownSend() {
  if (IsOpen()) ::shutdown(AsSocket(socket_), SD_SEND);
}

void Connection::Interrupt() {
  if (IsOpen()) ::shutdown(AsSocket(socket_), SD_BOTH);
}

void Connection::Close() {
  if (!IsOpen()) return;
  SOCKET s = AsSocket(socket_);
  socket_ = kNoSocket;
  ::shutdown(s, SD_BOTH);
  ::closesocket(s);
}

void Connection::Abort() {
  if (!IsOpen()) return;
  SOCKET s = AsSocket(socket_);
  socket_ = kNoSocket;
  const linger reset{1, 0};
  ::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
  ::closesocket(s);
}

bool ProbeConnect(const Text& host, uint16_t port, int32_t timeout_ms) {
  const auto start = std::chrono::steady_clock::now();
  SOCKET s;
  try {
    s = ConnectWithin(host, port,
                      TighterBound(timeout_ms > 0 ? timeout_ms : 0, HostTimeouts().connect_ms));
  } catch (const Error&) {
    ReportFailure("probe", host, port);
    return false;
  }
  // The connect has completed; the wait only confirms that the socket is
  // writable and reports no error condition.
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s, &writable);
  FD_SET(s, &failed);
  // What is left of the time-out after the connect.
  timeval tv = Interval(timeout_ms < 0 ? 0 : Remaining(timeout_ms, start));
  int rc = ::select(0, nullptr, &writable, &failed, timeout_ms < 0 ? nullptr : &tv);
  bool ready = rc > 0 && FD_ISSET(s, &writable) && !FD_ISSET(s, &failed);
  if (ready) {
    int err = 0;
    int len = sizeof err;
    ready = ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) == 0 &&
            err == 0;
  }
  if (!ready) ReportFailure("probe", host, port, "connected but not ready in time");
  ::shutdown(s, SD_BOTH);
  ::closesocket(s);
  return ready;
}

}  // namespace qvn::platform
