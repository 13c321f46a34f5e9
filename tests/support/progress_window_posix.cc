#include <atomic>

#include "qvn.h"
#include "support/progress_window.h"

namespace qvn::testing {

struct ProgressWindow::Impl {
  QvnWindow window;
  std::atomic<bool> handed_out{false};

  static intptr_t Proc(void* context, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    auto* owner = static_cast<ProgressWindow*>(context);
    const auto index = static_cast<int64_t>(wparam);
    if (message == QVN_WM_TRANSFERS_DONE) {
      owner->RecordDone(index, lparam);
    } else if (message == QVN_WM_TRANSFER_OUTCOME) {
      const auto* o = reinterpret_cast<const QvnTransferOutcome*>(lparam);
      owner->RecordOutcome(
          {index, o->client_file, o->server_file, o->upload != 0, o->status, o->reason});
    } else {
      return owner->Record(message, index, reinterpret_cast<const char16_t*>(lparam));
    }
    return 0;
  }
};

ProgressWindow::ProgressWindow() : impl_(new Impl{{&Impl::Proc, this}}) {}

// The transfer thread may still report until its done message.
ProgressWindow::~ProgressWindow() {
  if (impl_->handed_out) WaitForDone();
}

void* ProgressWindow::handle() const {
  impl_->handed_out = true;
  return &impl_->window;
}

}  // namespace qvn::testing
