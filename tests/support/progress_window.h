// A host window for transfer progress: on Windows a real message-only window
// with a message loop on a thread of its own, on Linux a QvnWindow whose proc
// records the calls. Records every progress message it receives; the
// transfers-done and outcome messages are kept apart. On Linux a window whose
// handle was handed out waits for the done message before it goes (as a host
// must: its context stays in use until then); a Windows window may go at any
// time (the library then finds no window and sends nothing).
#ifndef QVN_TESTS_SUPPORT_PROGRESS_WINDOW_H_
#define QVN_TESTS_SUPPORT_PROGRESS_WINDOW_H_

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "base/text.h"

namespace qvn::testing {

struct ProgressMessage {
  uint32_t message;
  int64_t wparam;  // as the window received it, read as signed
  Text text;
};

// One entry's outcome message.
struct OutcomeMessage {
  int64_t index;
  Text client_file, server_file;
  bool upload;
  int32_t status;
  Text reason;
};

class ProgressWindow {
 public:
  ProgressWindow();
  ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  // What the library's message handle must be (HWND / QvnWindow*).
  void* handle() const;
  std::vector<ProgressMessage> Messages();
  // Waits until at least `count` messages arrived, at most timeout_ms.
  bool WaitForMessages(size_t count, int timeout_ms = 20000);
  // Waits for the transfers-done message; its wparam, or -1 on timeout.
  int64_t WaitForDone(int timeout_ms = 20000);
  // The last done message's lparam (entries not completed), how many done
  // messages came, and the outcome of each entry, in order.
  int64_t DoneIncomplete();
  int DoneMessages();
  std::vector<OutcomeMessage> Outcomes();
  // The window answers a progress message with QVN_CANCEL_TRANSFERS when
  // `cancel` says so.
  void CancelWhen(std::function<bool(const ProgressMessage&)> cancel);

  struct Impl;

 private:
  // Returns what the window procedure answers.
  intptr_t Record(uint32_t message, int64_t wparam, const char16_t* text);
  void RecordOutcome(OutcomeMessage outcome);
  void RecordDone(int64_t begun, int64_t incomplete);
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<ProgressMessage> messages_;
  std::vector<OutcomeMessage> outcomes_;
  std::function<bool(const ProgressMessage&)> cancel_;
  int64_t done_entries_ = -1;
  int64_t done_incomplete_ = -1;
  int done_messages_ = 0;
  std::unique_ptr<Impl> impl_;
  friend struct Impl;
};

// Splits a progress text at "*".
std::vector<Text> ProgressFields(const Text& text);

}  // namespace qvn::testing

#endif  // QVN_TESTS_SUPPORT_PROGRESS_WINDOW_H_
