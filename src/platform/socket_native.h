// What the listener of tests and tools shares with the client sockets: the
// same start-up, error reporting and wait arithmetic.
#ifndef QVN_PLATFORM_SOCKET_NATIVE_H_
#define QVN_PLATFORM_SOCKET_NATIVE_H_

#include <chrono>
#include <cstdint>

#ifdef _WIN32
#include <winsock2.h>
#endif

namespace qvn::platform {

// Starts the socket service once (Winsock); nothing to do on Linux.
void StartSockets();

#ifdef _WIN32
// A new IPv4 stream socket that child processes do not inherit. Raises
// ConnectionError.
SOCKET NewSocket();
#endif

// Raises ConnectionError naming `what` and the system's error code.
[[noreturn]] void FailSocket(const char* what, int code);

// Milliseconds left of a wait that started at `start`; negative means no limit.
int Remaining(int timeout_ms, std::chrono::steady_clock::time_point start);

// The tighter of two bounds where 0 means none.
int32_t TighterBound(int32_t a, int32_t b);

// Raises TimeoutError for a connect that outlasted `bound_ms`.
[[noreturn]] void FailConnectTimedOut(int32_t bound_ms);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_SOCKET_NATIVE_H_
