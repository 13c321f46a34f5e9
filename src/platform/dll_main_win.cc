// Loading the library initialises OLE for the loading thread and nothing
// else: no sockets, no threads, no WSAStartup here.
#include <windows.h>
#include <ole2.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  static bool ole_initialised = false;
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      ole_initialised = SUCCEEDED(OleInitialize(nullptr));
      break;
    case DLL_PROCESS_DETACH:
      if (ole_initialised) OleUninitialize();
      break;
    default:
      break;
  }
  return TRUE;
}
