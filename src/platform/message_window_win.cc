#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "base/errors.h"
#include "platform/message_window.h"
#include "platform/progress_message.h"

namespace qvn::platform {
namespace {

constexpr wchar_t kClassName[] = L"QvnTransferMessageWindow";

// What the window passes its messages to (the window's user data).
struct Target {
  MessageWindow::Handler handler = nullptr;
  void* context = nullptr;
};

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

HMODULE OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&WindowProc), &module);
  return module;
}

bool RegisterOnce() {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &WindowProc;
    wc.hInstance = OwnModule();
    wc.lpszClassName = kClassName;
    return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  const auto* target = reinterpret_cast<const Target*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  const bool ours = message == kTransferProgressMessage ||
                    (TransferOutcomeMessage() != 0 && message == TransferOutcomeMessage()) ||
                    (TransfersDoneMessage() != 0 && message == TransfersDoneMessage());
  if (target == nullptr || !ours) return DefWindowProcW(hwnd, message, wparam, lparam);
  return target->handler(target->context, message, wparam, lparam);
}

}  // namespace

struct MessageWindow::Impl {
  Target target;
  HWND window = nullptr;
  std::thread pump;
};

MessageWindow::MessageWindow(Handler handler, void* context) : impl_(std::make_unique<Impl>()) {
  impl_->target = {handler, context};
  if (!RegisterOnce()) throw PlatformError("RegisterClassW failed", GetLastError());
  std::mutex mu;
  std::condition_variable ready;
  bool made = false;
  DWORD error = 0;
  impl_->pump = std::thread([&, impl = impl_.get()] {
    HWND hwnd = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                OwnModule(), nullptr);
    if (hwnd != nullptr) SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&impl->target));
    {
      std::lock_guard<std::mutex> lock(mu);
      impl->window = hwnd;
      error = hwnd == nullptr ? GetLastError() : 0;
      made = true;
    }
    ready.notify_all();
    MSG msg;
    while (hwnd != nullptr && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  });
  std::unique_lock<std::mutex> lock(mu);
  ready.wait(lock, [&] { return made; });
  if (impl_->window == nullptr) {
    lock.unlock();
    impl_->pump.join();
    throw PlatformError("CreateWindowExW failed", error);
  }
}

MessageWindow::~MessageWindow() {
  // DefWindowProc destroys the window; its WM_DESTROY ends the pump.
  PostMessageW(impl_->window, WM_CLOSE, 0, 0);
  impl_->pump.join();
}

void* MessageWindow::handle() const { return impl_->window; }

}  // namespace qvn::platform
