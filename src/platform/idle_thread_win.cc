#include "platform/idle_thread.h"

#include <windows.h>

#include <memory>

#include "base/errors.h"
#include "base/thread_exit.h"
#include "platform/fault_injection.h"

namespace qvn::platform {
namespace {

struct ThreadStart {
  std::function<void()> body;
  HMODULE module = nullptr;  // our own reference to the module holding this code
};

DWORD WINAPI ThreadMain(LPVOID arg) {
  HMODULE module;
  {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(arg));
    module = start->module;
    try {
      const fault::LibraryScope in_library;
      start->body();
    } catch (...) {  // the thread's edge: nothing may end the host process
      RethrowThreadExit();
    }
  }  // body and everything it captured are gone before the reference is
  if (module != nullptr) FreeLibraryAndExitThread(module, 0);
  return 0;
}

}  // namespace

void StartIdleThread(std::function<void()> body) {
  auto start = std::make_unique<ThreadStart>();
  start->body = std::move(body);
  // Taken here on the starting thread, not by the new thread itself, so that
  // a FreeLibrary between CreateThread and the thread's first instruction
  // cannot unload the code it is about to run.
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&ThreadMain), &start->module))
    start->module = nullptr;
  DWORD id = 0;
  HANDLE thread = fault::Injected(fault::Op::kThreadStart)
                      ? nullptr
                      : CreateThread(nullptr, 0, &ThreadMain, start.get(), CREATE_SUSPENDED, &id);
  if (thread == nullptr) {
    DWORD code = GetLastError();
    if (start->module != nullptr) FreeLibrary(start->module);
    throw PlatformError("CreateThread failed", code);
  }
  start.release();  // the thread owns it now
  SetThreadPriority(thread, THREAD_PRIORITY_IDLE);
  ResumeThread(thread);
  CloseHandle(thread);
}

uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

}  // namespace qvn::platform
