// Loading the library initialises OLE for the loading thread and nothing
// else: no sockets, no threads, no WSAStartup here.
#include <windows.h>
#include <ole2.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  // OLE is per thread: only the thread that initialised it may uninitialise
  // it. The last reference may instead be dropped by a transfer thread
  // (FreeLibraryAndExitThread), and at process exit OLE is torn down anyway.
  static DWORD ole_thread = 0;
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      if (SUCCEEDED(OleInitialize(nullptr))) ole_thread = GetCurrentThreadId();
      break;
    case DLL_PROCESS_DETACH:
      if (ole_thread != 0 && ole_thread == GetCurrentThreadId() && reserved == nullptr)
        OleUninitialize();
      break;
    default:
      break;
  }
  return TRUE;
}
