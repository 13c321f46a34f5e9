#include "platform/progress_message.h"

#include <windows.h>

namespace qvn::platform {

void SendProgressMessage(void* handle, int32_t index, const Text& text) {
  HWND window = static_cast<HWND>(handle);
  if (window == nullptr || !IsWindow(window)) return;
  SendMessageW(window, kTransferProgressMessage, static_cast<WPARAM>(static_cast<intptr_t>(index)),
               reinterpret_cast<LPARAM>(text.c_str()));
}

}  // namespace qvn::platform
