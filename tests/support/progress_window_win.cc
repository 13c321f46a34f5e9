#include <windows.h>

#include <future>
#include <thread>

#include "support/progress_window.h"

namespace qvn::testing {
namespace {
constexpr UINT kCloseWindow = WM_APP + 1;
constexpr wchar_t kClassName[] = L"QvnTestProgressWindow";
}  // namespace

struct ProgressWindow::Impl {
  HWND hwnd = nullptr;
  std::thread thread;

  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto* owner = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == kCloseWindow) {
      DestroyWindow(hwnd);
      PostQuitMessage(0);
      return 0;
    }
    if (owner != nullptr && msg >= WM_USER) {
      return owner->Record(msg, static_cast<int64_t>(static_cast<LONG_PTR>(wparam)),
                           reinterpret_cast<const char16_t*>(lparam));
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
  }
};

ProgressWindow::ProgressWindow() : impl_(new Impl) {
  std::promise<HWND> created;
  auto ready = created.get_future();
  impl_->thread = std::thread([this, &created] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &Impl::WndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc);  // fails harmlessly when already registered
    HWND hwnd = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                wc.hInstance, nullptr);
    if (hwnd != nullptr) SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    created.set_value(hwnd);
    if (hwnd == nullptr) return;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  });
  impl_->hwnd = ready.get();
}

ProgressWindow::~ProgressWindow() {
  if (impl_->hwnd != nullptr) PostMessageW(impl_->hwnd, kCloseWindow, 0, 0);
  impl_->thread.join();
}

void* ProgressWindow::handle() const { return impl_->hwnd; }

}  // namespace qvn::testing
