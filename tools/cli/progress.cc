#include "progress.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/files.h"

namespace qvn_cli {
namespace {

std::string Human(int64_t bytes) {
  char buf[32];
  if (bytes < 1024) {
    std::snprintf(buf, sizeof buf, "%lld B", static_cast<long long>(bytes));
  } else if (bytes < 1024 * 1024) {
    std::snprintf(buf, sizeof buf, "%.1f KiB", bytes / 1024.0);
  } else {
    std::snprintf(buf, sizeof buf, "%.1f MiB", bytes / (1024.0 * 1024.0));
  }
  return buf;
}

bool ParseInt(const Wide& s, int64_t& v) {
  if (s.empty() || s.size() > 19) return false;
  v = 0;
  for (char16_t c : s) {
    if (c < u'0' || c > u'9') return false;
    v = v * 10 + (c - u'0');
  }
  return true;
}

}  // namespace

std::vector<Transfer> ExpectedTransfers(const Wide& script) {
  std::vector<Transfer> out;
  for (const qvn::FileEntry& e : qvn::ListScriptFileEntries(script)) {
    Transfer t{e.direction == qvn::TransferDirection::kUpload, e.client_file, e.server_file};
    if (t.upload) {
      if (!qvn::platform::IsRegularFile(t.client)) continue;
      try {
        t.silent = qvn::platform::File::OpenForSharedRead(t.client).Size() == 0;
      } catch (const std::exception&) {
        continue;  // unreadable: the library's upload ends without a block
      }
    }
    out.push_back(std::move(t));
  }
  return out;
}

ProgressBoard::ProgressBoard(std::vector<Transfer> expected, bool terminal) : terminal_(terminal) {
  for (Transfer& t : expected) {
    State s{std::move(t)};
    s.done = s.transfer.silent;  // nothing will ever be reported for it
    states_.push_back(std::move(s));
  }
  window_.proc = &ProgressBoard::Proc;
  window_.context = this;
}

intptr_t ProgressBoard::Proc(void* context, uint32_t message, uintptr_t, intptr_t lparam) {
  // The library's last message, whatever became of the transfers.
  if (message == QVN_WM_TRANSFERS_DONE) {
    auto* board = static_cast<ProgressBoard*>(context);
    std::lock_guard<std::mutex> lock(board->mu_);
    board->thread_ended_ = true;
    board->cv_.notify_all();
    return 0;
  }
  if (message != QVN_WM_TRANSFER_PROGRESS || lparam == 0) return 0;
  const auto* p = reinterpret_cast<const qvn_char*>(lparam);
  Wide text;
  for (size_t i = 0; p[i] != 0; ++i) text.push_back(static_cast<char16_t>(p[i]));
  static_cast<ProgressBoard*>(context)->OnProgress(text);
  return 0;
}

// "client*server*size*count*percent%*tag*index*Upload|Download"; the names
// may hold "*" themselves, so the entry is found by its names and the
// numbers are read from the right.
void ProgressBoard::OnProgress(const Wide& text) {
  std::lock_guard<std::mutex> lock(mu_);
  ++messages_;
  // A count that is a multiple of ten blocks arrives twice at the end.
  if (text == last_text_) {
    cv_.notify_all();
    return;
  }
  last_text_ = text;
  std::vector<Wide> right;
  size_t end = text.size();
  for (int n = 0; n < 6; ++n) {
    size_t star = text.rfind(u'*', end == 0 ? 0 : end - 1);
    if (star == Wide::npos || end == 0) return;
    right.push_back(text.substr(star + 1, end - star - 1));
    end = star;
  }
  // right: direction, index, tag, percent, count, size; text[0, end) the names.
  Wide names = text.substr(0, end);
  bool upload = right[0] == u"Upload";
  int64_t size = 0, count = 0;
  if (!ParseInt(right[5], size) || !ParseInt(right[4], count)) return;
  for (size_t i = cursor_; i < states_.size(); ++i) {
    State& s = states_[i];
    if (s.done || s.transfer.upload != upload || names != s.transfer.client + u"*" + s.transfer.server) {
      continue;
    }
    // Transfers run one after another: the ones before this one are over.
    for (size_t k = cursor_; k < i; ++k) {
      if (!states_[k].done) {
        states_[k].passed = true;
        if (bar_open_) {
          std::fputs("\n", stdout);
          bar_open_ = false;
        }
      }
    }
    cursor_ = i;
    s.size = size;
    s.count = count;
    if (count == size) {
      s.done = true;
      cursor_ = i + 1;
    }
    DrawLocked(s, s.done);
    break;
  }
  cv_.notify_all();
}

void ProgressBoard::DrawLocked(const State& s, bool final) {
  const char* dir = s.transfer.upload ? "upload  " : "download";
  std::string names = ToUtf8(s.transfer.upload ? s.transfer.client + u" -> " + s.transfer.server
                                               : s.transfer.server + u" -> " + s.transfer.client);
  int64_t shown = s.count > s.size ? s.size : s.count;
  double pct = s.size > 0 ? 100.0 * static_cast<double>(shown) / static_cast<double>(s.size) : 100.0;
  char tail[96];
  std::snprintf(tail, sizeof tail, "%6.2f%%  %s / %s", pct, Human(shown).c_str(),
                Human(s.size).c_str());
  if (terminal_) {
    constexpr int kWidth = 30;
    int filled = static_cast<int>(pct / 100.0 * kWidth + 0.5);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kWidth - filled), '.');
    bar_line_ = std::string(dir) + " [" + bar + "] " + tail + "  " + names;
    std::fputs(("\r\033[K" + bar_line_).c_str(), stdout);
    bar_open_ = !final;
    if (final) std::fputs("  done\n", stdout);
  } else {
    std::string line = std::string(dir) + " " + names + "  " + tail + (final ? "  done" : "");
    std::puts(line.c_str());
  }
  std::fflush(stdout);
}

void ProgressBoard::Print(const std::string& text) {
  std::lock_guard<std::mutex> lock(mu_);
  if (bar_open_) std::fputs("\r\033[K", stdout);
  std::fputs(text.c_str(), stdout);
  if (!text.empty() && text.back() != '\n') std::fputs("\n", stdout);
  if (bar_open_) std::fputs(bar_line_.c_str(), stdout);
  std::fflush(stdout);
}

bool ProgressBoard::AllSettledLocked() const {
  for (const State& s : states_) {
    if (!s.done && !s.passed) return false;
  }
  return true;
}

bool ProgressBoard::Wait(int timeout_s, int idle_s) {
  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::seconds(timeout_s);
  std::unique_lock<std::mutex> lock(mu_);
  int64_t seen = messages_;
  auto idle_deadline = idle_s > 0 ? Clock::now() + std::chrono::seconds(idle_s) : deadline;
  while (!AllSettledLocked() && !thread_ended_) {
    cv_.wait_until(lock, std::min(deadline, idle_deadline));
    if (messages_ != seen && idle_s > 0) {
      seen = messages_;
      idle_deadline = Clock::now() + std::chrono::seconds(idle_s);
    }
    if (Clock::now() >= deadline || (idle_s > 0 && Clock::now() >= idle_deadline)) break;
  }
  if (bar_open_) {
    std::fputs("\n", stdout);
    bar_open_ = false;
    std::fflush(stdout);
  }
  for (const State& s : states_) {
    if (!s.done) return false;
  }
  return true;
}

std::vector<std::string> ProgressBoard::Missing() const {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<std::string> out;
  for (const State& s : states_) {
    if (s.done) continue;
    std::string what = s.transfer.upload ? "upload of " + ToUtf8(s.transfer.client)
                                         : "download of " + ToUtf8(s.transfer.server);
    out.push_back(what + " did not complete");
  }
  return out;
}

}  // namespace qvn_cli
