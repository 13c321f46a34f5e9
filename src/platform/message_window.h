// A window for the library's transfer messages, as a host program makes one:
// Linux: a QvnWindow record whose proc the library calls; Windows: a
// message-only window on a thread of its own that does nothing but pump, so
// that the transfer thread's SendMessageW is handled even while the
// program's own thread waits (for the transfers, or in Script).
#ifndef QVN_PLATFORM_MESSAGE_WINDOW_H_
#define QVN_PLATFORM_MESSAGE_WINDOW_H_

#include <cstdint>
#include <memory>

namespace qvn::platform {

class MessageWindow {
 public:
  // Called with the progress (kTransferProgressMessage), outcome
  // (TransferOutcomeMessage()) and done (TransfersDoneMessage()) messages, on
  // the thread that delivers them (Windows: the window's thread); what it
  // returns is the message's result. Other messages are not passed on.
  using Handler = intptr_t (*)(void* context, uint32_t message, uintptr_t wparam, intptr_t lparam);

  // Raises PlatformError when the system cannot make the window.
  MessageWindow(Handler handler, void* context);
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  // What Script takes as its window handle.
  void* handle() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_MESSAGE_WINDOW_H_
