#include "platform/progress_message.h"

#include "qvn.h"

namespace qvn::platform {

ProgressTarget CopyProgressTarget(void* handle) {
  ProgressTarget target;
  target.handle = handle;
  if (const auto* window = static_cast<const QvnWindow*>(handle)) {
    target.proc = window->proc;
    target.context = window->context;
  }
  return target;
}

void SendProgressMessage(const ProgressTarget& target, int32_t index, const Text& text) {
  if (target.proc == nullptr) return;
  target.proc(target.context, kTransferProgressMessage,
              static_cast<uintptr_t>(static_cast<intptr_t>(index)),
              reinterpret_cast<intptr_t>(text.c_str()));
}

void SendTransfersDone(const ProgressTarget& target, uint32_t entries) {
  if (target.proc == nullptr) return;
  target.proc(target.context, kTransfersDoneMessage, entries, 0);
}

}  // namespace qvn::platform
