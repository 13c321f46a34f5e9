#include "platform/progress_message.h"

#include "qvn.h"

namespace qvn::platform {

void SendProgressMessage(void* handle, int32_t index, const Text& text) {
  auto* window = static_cast<QvnWindow*>(handle);
  if (window == nullptr || window->proc == nullptr) return;
  window->proc(window->context, kTransferProgressMessage,
               static_cast<uintptr_t>(static_cast<intptr_t>(index)),
               reinterpret_cast<intptr_t>(text.c_str()));
}

}  // namespace qvn::platform
