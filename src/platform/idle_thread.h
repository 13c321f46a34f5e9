// The background thread of a file transfer: detached, idle priority, and
// keeping the library loaded while it runs so that a host which unloads the
// library mid-transfer does not pull the code out from under it.
#ifndef QVN_PLATFORM_IDLE_THREAD_H_
#define QVN_PLATFORM_IDLE_THREAD_H_

#include <cstdint>
#include <functional>

namespace qvn::platform {

// Starts `body` on a new detached thread at idle priority and returns at once.
// Nobody can wait for it. `body` should not raise; anything it raises is
// swallowed at the thread's edge, except the unwind of a thread being ended
// (pthread_exit, a cancel), which goes on to end it. Raises PlatformError
// when no thread could be started (then `body` never runs).
//  - Windows: the library's module reference is taken for the thread
//    (GetModuleHandleExW FROM_ADDRESS) before it is created, so an unload
//    cannot come in between; the thread leaves with FreeLibraryAndExitThread.
//  - Linux: the library is marked RTLD_NODELETE (dladdr + dlopen NOLOAD) before
//    the first transfer thread starts, so a dlclose during a transfer cannot
//    unmap running code; the mapping then stays for the rest of the process.
//    The thread runs under SCHED_IDLE (nice 19 where that is refused), and
//    acts on a pthread_cancel only while a host's handler runs on it.
void StartIdleThread(std::function<void()> body);

// The system's identifier of the calling thread (GetCurrentThreadId / gettid).
uint32_t CurrentThreadId();

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_IDLE_THREAD_H_
