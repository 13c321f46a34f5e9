#include "platform/progress_message.h"

#include <windows.h>

namespace qvn::platform {

ProgressTarget CopyProgressTarget(void* handle) {
  ProgressTarget target;
  target.handle = handle;
  return target;
}

void SendProgressMessage(const ProgressTarget& target, int32_t index, const Text& text) {
  HWND window = static_cast<HWND>(target.handle);
  if (window == nullptr || !IsWindow(window)) return;
  SendMessageW(window, kTransferProgressMessage, static_cast<WPARAM>(static_cast<intptr_t>(index)),
               reinterpret_cast<LPARAM>(text.c_str()));
}

void SendTransfersDone(const ProgressTarget& /*target*/, uint32_t /*entries*/) {}

}  // namespace qvn::platform
