#include "platform/message_window.h"
#include "qvn.h"

namespace qvn::platform {

struct MessageWindow::Impl {
  QvnWindow window{};
};

MessageWindow::MessageWindow(Handler handler, void* context) : impl_(std::make_unique<Impl>()) {
  // The library calls proc itself, with the numbers the handler compares.
  impl_->window.proc = handler;
  impl_->window.context = context;
}

MessageWindow::~MessageWindow() = default;

void* MessageWindow::handle() const { return &impl_->window; }

}  // namespace qvn::platform
