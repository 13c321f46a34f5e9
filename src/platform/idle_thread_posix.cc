#include "platform/idle_thread.h"

#include <dlfcn.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "base/errors.h"
#include "base/thread_exit.h"
#include "platform/cancellation_posix.h"
#include "platform/fault_injection.h"

namespace qvn::platform {
namespace {

// Any address inside this library will do for dladdr.
void PinLibrary() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&PinLibrary), &info) == 0 || info.dli_fname == nullptr)
    return;
  // NOLOAD: only the already mapped object is touched. The handle's extra
  // reference is kept on purpose; NODELETE makes dlclose leave the mapping.
  (void)dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

void LowerPriority() {
  sched_param param{};
  param.sched_priority = 0;
  if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &param) != 0) {
    // setpriority on a thread id affects that thread only on Linux.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 19);
  }
}

void* ThreadMain(void* arg) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(arg));
  LowerPriority();
  // The thread is the library's: a cancel is acted on only inside a host's
  // handler (see cancellation_posix.h).
  const CancellationHeldOff held_off;
  try {
    const fault::LibraryScope in_library;
    (*body)();
  } catch (...) {  // the thread's edge: nothing but its own end leaves it
    RethrowThreadExit();
  }
  return nullptr;
}

}  // namespace

void StartIdleThread(std::function<void()> body) {
  PinLibrary();
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) throw PlatformError("pthread_attr_init failed", EAGAIN);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  int rc = fault::Injected(fault::Op::kThreadStart)
               ? EAGAIN
               : pthread_create(&thread, &attr, &ThreadMain, owned.get());
  pthread_attr_destroy(&attr);
  if (rc != 0) throw PlatformError("pthread_create failed", static_cast<uint32_t>(rc));
  (void)owned.release();  // the thread owns it now
}

uint32_t CurrentThreadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

}  // namespace qvn::platform
