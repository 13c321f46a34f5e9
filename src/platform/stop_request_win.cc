#include "platform/stop_request.h"

#include <windows.h>

#include <condition_variable>
#include <mutex>

namespace qvn::platform {
namespace {

std::mutex g_mutex;
std::condition_variable g_requested;
const char* g_reason = nullptr;

// Runs on a thread of its own that the system starts for each event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  const char* reason = event == CTRL_C_EVENT       ? "Ctrl+C"
                       : event == CTRL_BREAK_EVENT ? "Ctrl+Break"
                       : event == CTRL_CLOSE_EVENT ? "console closed"
                                                   : "log-off or shut-down";
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_reason == nullptr) g_reason = reason;
  }
  g_requested.notify_all();
  // After the last three the system ends the process once this returns: the
  // main thread stops the server meanwhile and exits first.
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) Sleep(INFINITE);
  return TRUE;
}

}  // namespace

void TakeStopRequests() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

std::string WaitForStopRequest() {
  std::unique_lock<std::mutex> lock(g_mutex);
  g_requested.wait(lock, [] { return g_reason != nullptr; });
  return g_reason;
}

}  // namespace qvn::platform
