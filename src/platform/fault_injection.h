// Fault injection, for builds configured with QVN_FAULT_INJECTION=ON only
// (never a release): every fallible request the library makes of the system
// passes through Injected() first, so the torture tests can make the Nth of
// them fail with that request's real error. In every other build Injected()
// is a constant false and the checks compile away.
#ifndef QVN_PLATFORM_FAULT_INJECTION_H_
#define QVN_PLATFORM_FAULT_INJECTION_H_

#include <cstdint>
#include <optional>

namespace qvn::platform::fault {

// The kinds of fallible request, each failing with an error its real call
// can return (Linux errno / Windows code): allocation std::bad_alloc, socket
// EMFILE, connect ECONNREFUSED, send and receive ECONNRESET, wait ENOMEM,
// resolve EAI_AGAIN, open EMFILE, read EIO, write ENOSPC, flush EIO, rename
// EIO, remove EBUSY, set end EIO, thread start EAGAIN, cipher a libcrypto or
// CryptoAPI failure (the Windows codes are their counterparts).
enum class Op : uint8_t {
  kAllocate, kSocket, kConnect, kSend, kReceive, kWait, kResolve, kOpen, kRead,
  kWrite, kFlush, kRename, kRemove, kSetEnd, kThreadStart, kCipher,
};
const char* OpName(Op op);

#ifdef QVN_FAULT_INJECTION
// Counts a fallible request made on a thread inside the library; true, with
// the system's error variable (errno / SetLastError) set to the request's
// error, when it is the one chosen to fail.
bool Injected(Op op);

// Requests count only while a thread is inside the library: an export's call
// or a transfer thread, less the time it spends in a host's handler.
class LibraryScope {
 public:
  LibraryScope();
  ~LibraryScope();
  LibraryScope(const LibraryScope&) = delete;
  LibraryScope& operator=(const LibraryScope&) = delete;
};
class HostScope {
 public:
  HostScope();
  ~HostScope();
  HostScope(const HostScope&) = delete;
  HostScope& operator=(const HostScope&) = delete;

 private:
  int saved_;
};

// The controls. From the environment, for a program over the library: a
// thread entering the library arms it when QVN_FAIL_AT (N: the Nth request
// fails; 0: only counted) or QVN_FAULT_RUN (any text: a new run) differs from
// what it last saw; when QVN_FAULT_REPORT names a file, the count since then
// and the failed request's kind are written there each time a thread leaves.
// In the process, for tests linked with the library's objects:
void Arm(uint64_t fail_at);  // 0: count only; the count starts again
void Disarm();
uint64_t Calls();            // counted since Arm
std::optional<Op> Failed();  // the kind of the request made to fail, if any
#else
constexpr bool Injected(Op) { return false; }
class LibraryScope {};
class HostScope {};
#endif

}  // namespace qvn::platform::fault

#endif  // QVN_PLATFORM_FAULT_INJECTION_H_
