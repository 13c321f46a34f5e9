// Delivery of a transfer's progress text to the host window, synchronously on
// the transfer thread.
#ifndef QVN_PLATFORM_PROGRESS_MESSAGE_H_
#define QVN_PLATFORM_PROGRESS_MESSAGE_H_

#include <cstdint>

#include "base/text.h"

namespace qvn::platform {

inline constexpr uint32_t kTransferProgressMessage = 5266;  // WM_USER + 4242

// Sends message 5266 with wparam = index (sign-extended) and lparam = the
// NUL-terminated text, and returns when the host has handled it. The text is
// valid only during the call.
//  - Windows: handle is an HWND; SendMessageW, nothing when it is 0 or names
//    no window.
//  - Linux: handle is a QvnWindow* (qvn.h); proc(context, 5266, index, text)
//    is called here; nothing when the handle or its proc is null.
void SendProgressMessage(void* handle, int32_t index, const Text& text);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_PROGRESS_MESSAGE_H_
