// When a pthread_cancel may be acted on inside the library (Linux only).
//
// glibc acts on a pending cancel at the next cancellation point, close()
// among them, by unwinding the thread's stack. Where that point sits in a
// noexcept frame (the destructors that close files and sockets), the unwind
// aborts the process instead. So descriptors close with cancellation held
// off, and the transfer thread, which is the library's own, holds it off for
// its whole life except while a host's handler runs: a cancel there (or one
// requested there) ends the thread inside the handler, through frames that
// let it pass.
#ifndef QVN_PLATFORM_CANCELLATION_POSIX_H_
#define QVN_PLATFORM_CANCELLATION_POSIX_H_

#include <pthread.h>

namespace qvn::platform {

// Sets the calling thread's cancel state for one scope and restores it.
class CancelStateScope {
 public:
  explicit CancelStateScope(int state) { (void)pthread_setcancelstate(state, &previous_); }
  ~CancelStateScope() { (void)pthread_setcancelstate(previous_, nullptr); }
  CancelStateScope(const CancelStateScope&) = delete;
  CancelStateScope& operator=(const CancelStateScope&) = delete;

 private:
  int previous_ = PTHREAD_CANCEL_ENABLE;
};

// No cancel is acted on in this scope (it stays pending).
class CancellationHeldOff : public CancelStateScope {
 public:
  CancellationHeldOff() : CancelStateScope(PTHREAD_CANCEL_DISABLE) {}
};

// A host's handler runs with cancellation as the host's threads have it.
class CancellationAllowed : public CancelStateScope {
 public:
  CancellationAllowed() : CancelStateScope(PTHREAD_CANCEL_ENABLE) {}
};

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_CANCELLATION_POSIX_H_
