// Delivery of a transfer's progress text to the host window, synchronously on
// the transfer thread.
#ifndef QVN_PLATFORM_PROGRESS_MESSAGE_H_
#define QVN_PLATFORM_PROGRESS_MESSAGE_H_

#include <cstdint>

#include "base/text.h"

namespace qvn::platform {

inline constexpr uint32_t kTransferProgressMessage = 5266;  // WM_USER + 4242
inline constexpr uint32_t kTransfersDoneMessage = 5267;     // Linux only
inline constexpr uint32_t kTransferOutcomeMessage = 5268;   // Linux only
// What a progress handler returns to cancel (QVN_CANCEL_TRANSFERS): no window
// procedure returns it by accident.
inline constexpr intptr_t kCancelTransfers = 0x51564E43;

// Where progress goes, copied while Script runs: on Linux the host's
// QvnWindow record may be gone by the time the transfer thread reports.
struct ProgressTarget {
  void* handle = nullptr;  // the HWND on Windows
  intptr_t (*proc)(void* context, uint32_t message, uintptr_t wparam, intptr_t lparam) = nullptr;
  void* context = nullptr;
};

// Windows: the handle itself. Linux: a copy of *(QvnWindow*)handle (none
// when handle is null).
ProgressTarget CopyProgressTarget(void* handle);

// Sends message 5266 with wparam = index (sign-extended) and lparam = the
// NUL-terminated text, and returns when the host has handled it: true when
// the host answered kCancelTransfers. The text is valid only during the call.
//  - Windows: SendMessageW to the HWND; nothing when it is 0 or names no window.
//  - Linux: proc(context, 5266, index, text) is called here; nothing when
//    proc is null.
bool SendProgressMessage(const ProgressTarget& target, int32_t index, const Text& text);

// How one entry ended. Linux: proc(context, 5268, index, &QvnTransferOutcome).
// Windows: nothing (a Windows host keeps exactly the messages it always had).
void SendTransferOutcome(const ProgressTarget& target, int32_t index, const Text& client_file,
                         const Text& server_file, bool upload, int32_t status,
                         const Text& reason);

// The transfer thread's last word, after which it never touches `context`
// again. Linux: proc(context, 5267, entries begun, entries not completed).
// Windows: nothing.
void SendTransfersDone(const ProgressTarget& target, uint32_t begun, uint32_t incomplete);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_PROGRESS_MESSAGE_H_
