#include "support/progress_window.h"

#include <chrono>

#include "platform/progress_message.h"

namespace qvn::testing {

std::vector<ProgressMessage> ProgressWindow::Messages() {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

bool ProgressWindow::WaitForMessages(size_t count, int timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return messages_.size() >= count; });
}

int64_t ProgressWindow::WaitForDone(int timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return done_entries_ >= 0; });
  return done_entries_;
}

int64_t ProgressWindow::DoneIncomplete() {
  std::lock_guard<std::mutex> lock(mutex_);
  return done_incomplete_;
}

int ProgressWindow::DoneMessages() {
  std::lock_guard<std::mutex> lock(mutex_);
  return done_messages_;
}

std::vector<OutcomeMessage> ProgressWindow::Outcomes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return outcomes_;
}

void ProgressWindow::CancelWhen(std::function<bool(const ProgressMessage&)> cancel) {
  std::lock_guard<std::mutex> lock(mutex_);
  cancel_ = std::move(cancel);
}

intptr_t ProgressWindow::Record(uint32_t message, int64_t wparam, const char16_t* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.push_back({message, wparam, text == nullptr ? Text() : Text(text)});
  changed_.notify_all();
  return cancel_ && cancel_(messages_.back()) ? platform::kCancelTransfers : 0;
}

void ProgressWindow::RecordOutcome(OutcomeMessage outcome) {
  std::lock_guard<std::mutex> lock(mutex_);
  outcomes_.push_back(std::move(outcome));
}

void ProgressWindow::RecordDone(int64_t begun, int64_t incomplete) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++done_messages_;
  done_entries_ = begun;
  done_incomplete_ = incomplete;
  changed_.notify_all();
}

std::vector<Text> ProgressFields(const Text& text) {
  std::vector<Text> fields;
  size_t start = 0;
  for (;;) {
    size_t star = text.find(u'*', start);
    fields.push_back(text.substr(start, star == Text::npos ? Text::npos : star - start));
    if (star == Text::npos) return fields;
    start = star + 1;
  }
}

}  // namespace qvn::testing
