#include "platform/progress_message.h"

#include <windows.h>

#include "qvn.h"

namespace qvn::platform {
namespace {

// The window a handle names, or null when it names none (any more).
HWND LiveWindow(void* handle) {
  HWND window = static_cast<HWND>(handle);
  return window != nullptr && IsWindow(window) ? window : nullptr;
}

}  // namespace

ProgressTarget CopyProgressTarget(void* handle) {
  ProgressTarget target;
  target.handle = handle;
  return target;
}

// Registered once per process; the numbers stay valid for the session, so
// they outlive a FreeLibrary of this DLL.
uint32_t TransfersDoneMessage() {
  static const UINT message = RegisterWindowMessageW(QVN_WM_TRANSFERS_DONE_NAME);
  return message;
}

uint32_t TransferOutcomeMessage() {
  static const UINT message = RegisterWindowMessageW(QVN_WM_TRANSFER_OUTCOME_NAME);
  return message;
}

bool SendProgressMessage(const ProgressTarget& target, int32_t index, const Text& text) {
  HWND window = LiveWindow(target.handle);
  if (window == nullptr) return false;
  return SendMessageW(window, kTransferProgressMessage,
                      static_cast<WPARAM>(static_cast<intptr_t>(index)),
                      reinterpret_cast<LPARAM>(text.c_str())) == kCancelTransfers;
}

void SendTransferOutcome(const ProgressTarget& target, int32_t index, const Text& client_file,
                         const Text& server_file, bool upload, int32_t status,
                         const Text& reason) {
  HWND window = LiveWindow(target.handle);
  const UINT message = TransferOutcomeMessage();
  if (window == nullptr || message == 0) return;
  const auto wide = [](const Text& t) { return reinterpret_cast<const wchar_t*>(t.c_str()); };
  const QvnTransferOutcome outcome{wide(client_file), wide(server_file), upload ? 1 : 0, status,
                                   wide(reason)};
  SendMessageW(window, message, static_cast<WPARAM>(static_cast<intptr_t>(index)),
               reinterpret_cast<LPARAM>(&outcome));
}

void SendTransfersDone(const ProgressTarget& target, uint32_t begun, uint32_t incomplete) {
  HWND window = LiveWindow(target.handle);
  const UINT message = TransfersDoneMessage();
  if (window == nullptr || message == 0) return;
  SendMessageW(window, message, begun, static_cast<LPARAM>(incomplete));
}

void SendNoTransfersDone(void* handle) {
  HWND window = LiveWindow(handle);
  const UINT message = TransfersDoneMessage();
  if (window == nullptr || message == 0) return;
  SendNotifyMessageW(window, message, 0, 0);
}

}  // namespace qvn::platform
