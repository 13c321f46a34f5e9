#include "platform/progress_message.h"

#include <windows.h>

namespace qvn::platform {

ProgressTarget CopyProgressTarget(void* handle) {
  ProgressTarget target;
  target.handle = handle;
  return target;
}

bool SendProgressMessage(const ProgressTarget& target, int32_t index, const Text& text) {
  HWND window = static_cast<HWND>(target.handle);
  if (window == nullptr || !IsWindow(window)) return false;
  return SendMessageW(window, kTransferProgressMessage,
                      static_cast<WPARAM>(static_cast<intptr_t>(index)),
                      reinterpret_cast<LPARAM>(text.c_str())) == kCancelTransfers;
}

void SendTransferOutcome(const ProgressTarget& /*target*/, int32_t /*index*/,
                         const Text& /*client_file*/, const Text& /*server_file*/,
                         bool /*upload*/, int32_t /*status*/, const Text& /*reason*/) {}

void SendTransfersDone(const ProgressTarget& /*target*/, uint32_t /*begun*/,
                       uint32_t /*incomplete*/) {}

}  // namespace qvn::platform
