// A thread can be ended from inside a call chain of the library: a host's
// progress handler that calls pthread_exit, a pthread_cancel acted on at a
// cancellation point, or a language runtime that ends its threads as it shuts
// down (Python does, when a thread calls back into a finalizing interpreter).
// glibc ends it by unwinding the stack with an exception of its own,
// abi::__forced_unwind; a handler that catches it without rethrowing aborts
// the process ("FATAL: exception not rethrown"), and so does a noexcept frame
// it meets. So no function on such a path is noexcept, and every catch-all in
// the library starts with RethrowThreadExit().
#ifndef QVN_BASE_THREAD_EXIT_H_
#define QVN_BASE_THREAD_EXIT_H_

#if defined(__GLIBCXX__)
#include <cxxabi.h>
#endif

namespace qvn {

// Call first thing inside `catch (...)`: lets a thread's end go on unwinding
// and returns for every other exception, which stays the one being handled.
// The unwind is not a C++ object (its exception pointer is null), so binding
// the handler's reference to it is exempt from the null check of
// UndefinedBehaviorSanitizer; nothing reads through that reference.
#if defined(__GNUC__)
__attribute__((no_sanitize("null")))
#endif
inline void RethrowThreadExit() {
#if defined(__GLIBCXX__)
  try {
    throw;
  } catch (const abi::__forced_unwind&) {
    throw;
  } catch (...) {  // any other exception: the caller's handler deals with it
  }
#endif
}

}  // namespace qvn

#endif  // QVN_BASE_THREAD_EXIT_H_
