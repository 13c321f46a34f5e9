// Delivery of a transfer's progress text to the host window, synchronously on
// the transfer thread.
#ifndef QVN_PLATFORM_PROGRESS_MESSAGE_H_
#define QVN_PLATFORM_PROGRESS_MESSAGE_H_

#include <cstdint>

#include "base/text.h"

namespace qvn::platform {

inline constexpr uint32_t kTransferProgressMessage = 5266;  // WM_USER + 4242
// Linux: the numbers of the done and outcome messages. Windows registers
// them by name instead (TransfersDoneMessage(), TransferOutcomeMessage()).
inline constexpr uint32_t kTransfersDoneMessage = 5267;
inline constexpr uint32_t kTransferOutcomeMessage = 5268;
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

// The numbers the done and outcome messages carry here: on Windows what
// RegisterWindowMessageW returns for QVN_WM_TRANSFERS_DONE_NAME and
// QVN_WM_TRANSFER_OUTCOME_NAME (0 when registering failed: nothing is then
// sent), on Linux 5267 and 5268.
uint32_t TransfersDoneMessage();
uint32_t TransferOutcomeMessage();

// How one entry ended: the outcome message with wparam = index and lparam =
// &QvnTransferOutcome, valid during the call.
//  - Windows: SendMessageW; nothing when the handle names no window.
//  - Linux: proc(context, 5268, index, &outcome).
void SendTransferOutcome(const ProgressTarget& target, int32_t index, const Text& client_file,
                         const Text& server_file, bool upload, int32_t status,
                         const Text& reason);

// The transfer thread's last word, after which it never touches the window
// (Linux: `context`) again: the done message with wparam = entries begun,
// lparam = entries not completed. Windows: SendMessageW, nothing when the
// handle names no window. Linux: proc(context, 5267, begun, incomplete).
void SendTransfersDone(const ProgressTarget& target, uint32_t begun, uint32_t incomplete);

// Script's own done message (0, 0) when it starts no transfer thread, sent
// before Script returns. Windows: SendNotifyMessageW, which calls a window of
// the calling thread at once and queues the message for any other thread, so
// that Script never waits for a thread that may be waiting for it. Linux:
// proc(context, 5267, 0, 0) on the calling thread.
void SendNoTransfersDone(void* handle);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_PROGRESS_MESSAGE_H_
