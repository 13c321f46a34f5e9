#include "platform/progress_message.h"

#include "platform/cancellation_posix.h"
#include "platform/fault_injection.h"
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

static_assert(kCancelTransfers == QVN_CANCEL_TRANSFERS);
static_assert(kTransferOutcomeMessage == QVN_WM_TRANSFER_OUTCOME);
static_assert(kTransfersDoneMessage == QVN_WM_TRANSFERS_DONE);

uint32_t TransfersDoneMessage() { return kTransfersDoneMessage; }
uint32_t TransferOutcomeMessage() { return kTransferOutcomeMessage; }

bool SendProgressMessage(const ProgressTarget& target, int32_t index, const Text& text) {
  if (target.proc == nullptr) return false;
  const CancellationAllowed allowed;
  const fault::HostScope in_host;  // the host's allocations are its own
  return target.proc(target.context, kTransferProgressMessage,
                     static_cast<uintptr_t>(static_cast<intptr_t>(index)),
                     reinterpret_cast<intptr_t>(text.c_str())) == kCancelTransfers;
}

void SendTransferOutcome(const ProgressTarget& target, int32_t index, const Text& client_file,
                         const Text& server_file, bool upload, int32_t status,
                         const Text& reason) {
  if (target.proc == nullptr) return;
  const CancellationAllowed allowed;
  const fault::HostScope in_host;  // the host's allocations are its own
  const QvnTransferOutcome outcome{client_file.c_str(), server_file.c_str(), upload ? 1 : 0,
                                   status, reason.c_str()};
  target.proc(target.context, kTransferOutcomeMessage,
              static_cast<uintptr_t>(static_cast<intptr_t>(index)),
              reinterpret_cast<intptr_t>(&outcome));
}

void SendTransfersDone(const ProgressTarget& target, uint32_t begun, uint32_t incomplete) {
  if (target.proc == nullptr) return;
  const CancellationAllowed allowed;
  const fault::HostScope in_host;  // the host's allocations are its own
  target.proc(target.context, kTransfersDoneMessage, begun, static_cast<intptr_t>(incomplete));
}

void SendNoTransfersDone(void* handle) { SendTransfersDone(CopyProgressTarget(handle), 0, 0); }

}  // namespace qvn::platform
