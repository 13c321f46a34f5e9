#include <windows.h>

#include <future>
#include <thread>

#include "platform/progress_message.h"
#include "qvn.h"
#include "support/progress_window.h"

namespace qvn::testing {
namespace {
constexpr UINT kCloseWindow = WM_APP + 1;
constexpr wchar_t kClassName[] = L"QvnTestProgressWindow";
}  // namespace

struct ProgressWindow::Impl {
  HWND hwnd = nullptr;
  DWORD thread_id = 0;
  std::thread thread;

  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto* owner = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (owner != nullptr && msg == platform::TransfersDoneMessage()) {
      owner->RecordDone(static_cast<int64_t>(wparam), lparam);
      return 0;
    }
    if (owner != nullptr && msg == platform::TransferOutcomeMessage()) {
      const auto* o = reinterpret_cast<const QvnTransferOutcome*>(lparam);
      const auto text = [](const wchar_t* w) { return Text(reinterpret_cast<const char16_t*>(w)); };
      owner->RecordOutcome({static_cast<int64_t>(static_cast<LONG_PTR>(wparam)),
                            text(o->client_file), text(o->server_file), o->upload != 0, o->status,
                            text(o->reason)});
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
    impl_->thread_id = GetCurrentThreadId();
    created.set_value(hwnd);
    if (hwnd == nullptr) return;
    MSG msg;
    // Closed by a message to the thread, not the window: a test may have
    // destroyed the window itself.
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (msg.hwnd == nullptr && msg.message == kCloseWindow) break;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
  });
  impl_->hwnd = ready.get();
}

ProgressWindow::~ProgressWindow() {
  if (impl_->hwnd != nullptr) PostThreadMessageW(impl_->thread_id, kCloseWindow, 0, 0);
  impl_->thread.join();
}

void* ProgressWindow::handle() const { return impl_->hwnd; }

}  // namespace qvn::testing
