#include <atomic>

#include "qvn.h"
#include "support/progress_window.h"

namespace qvn::testing {

struct ProgressWindow::Impl {
  QvnWindow window;
  std::atomic<bool> handed_out{false};

  static intptr_t Proc(void* context, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    static_cast<ProgressWindow*>(context)->Record(message, static_cast<int64_t>(wparam),
                                                  reinterpret_cast<const char16_t*>(lparam));
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
