#include "progress.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "output.h"
#include "platform/progress_message.h"
#include "progress_bar.h"

namespace qvn_cli {
namespace {

bool ParseInt(const Wide& s, int64_t& v) {
  if (s.empty() || s.size() > 18) return false;
  v = 0;
  for (char16_t c : s) {
    if (c < u'0' || c > u'9') return false;
    v = v * 10 + (c - u'0');
  }
  return true;
}

// "upload a.bin -> ..\x.bin" or "download ..\x.bin -> a.bin".
std::string Names(bool upload, const Wide& client, const Wide& server) {
  return ToUtf8(upload ? client + u" -> " + server : server + u" -> " + client);
}

const char* StatusWord(int32_t status) {
  switch (status) {
    case QVN_TRANSFER_FAILED: return "failed";
    case QVN_TRANSFER_SKIPPED: return "skipped";
    case QVN_TRANSFER_TIMED_OUT: return "timed out";
    case QVN_TRANSFER_CANCELLED: return "cancelled";
    case QVN_TRANSFER_NOT_STARTED: return "not started";
    default: return "did not complete";
  }
}

Wide Copy(const qvn_char* p) {
  Wide out;
  for (size_t i = 0; p != nullptr && p[i] != 0; ++i) out.push_back(static_cast<char16_t>(p[i]));
  return out;
}

}  // namespace

TransferBoard::TransferBoard(std::vector<qvn::FileEntry> entries, bool terminal, bool quiet)
    : entries_(std::move(entries)),
      terminal_(terminal),
      quiet_(quiet),
      window_(&TransferBoard::Proc, this) {}

intptr_t TransferBoard::Proc(void* context, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  auto* board = static_cast<TransferBoard*>(context);
  // The outcome and done messages' numbers: Linux's fixed ones, Windows'
  // registered ones.
  if (message == QVN_WM_TRANSFER_PROGRESS && lparam != 0) {
    return board->OnProgress(wparam, Copy(reinterpret_cast<const qvn_char*>(lparam)));
  }
  if (message == qvn::platform::TransferOutcomeMessage() && lparam != 0) {
    board->OnOutcome(wparam, *reinterpret_cast<const QvnTransferOutcome*>(lparam));
  } else if (message == qvn::platform::TransfersDoneMessage()) {
    std::lock_guard<std::mutex> lock(board->mu_);
    board->done_ = true;
    board->done_failed_ = static_cast<size_t>(lparam);
    board->cv_.notify_all();
  }
  return 0;
}

// "client*server*size*count*percent%*tag*index*Upload|Download"; the names
// may hold "*" themselves, so the numbers are read from the right.
intptr_t TransferBoard::OnProgress(uintptr_t index, const Wide& text) {
  std::lock_guard<std::mutex> lock(mu_);
  ++messages_;
  cv_.notify_all();
  if (cancel_) return QVN_CANCEL_TRANSFERS;
  std::vector<Wide> right;
  size_t end = text.size();
  for (int n = 0; n < 6; ++n) {
    size_t star = end == 0 ? Wide::npos : text.rfind(u'*', end - 1);
    if (star == Wide::npos) return 0;
    right.push_back(text.substr(star + 1, end - star - 1));
    end = star;
  }
  // right: direction, index, tag, percent, count, size; text[0, end) the names,
  // the server's beginning with its prefix.
  Progress& p = progress_[index];
  if (p.finished) return 0;  // the last message can come twice
  p.upload = right[0] == u"Upload";
  if (!ParseInt(right[5], p.size) || !ParseInt(right[4], p.count)) return 0;
  Wide names = text.substr(0, end);
  size_t split = Wide::npos;
  for (const char16_t* prefix : {u"*..\\", u"*.@\\"}) {
    size_t at = names.rfind(prefix);
    if (at != Wide::npos && (split == Wide::npos || at > split)) split = at;
  }
  if (split == Wide::npos) split = names.find(u'*');
  if (split == Wide::npos) return 0;
  p.names = Names(p.upload, names.substr(0, split), names.substr(split + 1));
  if (p.count >= p.size) {
    p.finished = true;
    FinishedLocked(p, true);
  } else if (terminal_ && !quiet_) {
    // The width is asked at each redraw, so the bar follows a resize.
    bar_ = {p.upload, p.size, p.count, p.names};
    WriteErr("\r\033[K" + BarLine(bar_, BarColumns()));
    bar_open_ = true;
  }
  return 0;
}

void TransferBoard::OnOutcome(uintptr_t index, const QvnTransferOutcome& o) {
  std::lock_guard<std::mutex> lock(mu_);
  ++outcomes_;
  ++messages_;
  cv_.notify_all();
  std::string names = Names(o.upload != 0, Copy(o.client_file), Copy(o.server_file));
  if (o.status != QVN_TRANSFER_COMPLETED) {
    FailedLocked(std::string(o.upload != 0 ? "upload " : "download ") + names,
                 std::string(StatusWord(o.status)) +
                     (o.reason != nullptr && o.reason[0] != 0 ? ": " + ToUtf8(Copy(o.reason)) : ""));
    return;
  }
  // An empty file's upload sends no block, so no progress either.
  auto it = progress_.find(index);
  if (it != progress_.end() && it->second.finished) return;
  Progress p;
  p.upload = o.upload != 0;
  p.names = names;
  FinishedLocked(p, false);
}

void TransferBoard::FinishedLocked(const Progress& p, bool with_size) {
  if (quiet_) return;
  CloseBarLocked();
  std::string line = std::string(p.upload ? "upload   " : "download ") + p.names;
  if (with_size) line += "  " + HumanSize(p.size);
  WriteErr(line + "  done\n");
}

void TransferBoard::FailedLocked(const std::string& what, const std::string& why) {
  CloseBarLocked();
  WriteErr("qvn: " + what + ": " + why + "\n");
  ++failed_;
}

void TransferBoard::CloseBarLocked() {
  if (!bar_open_) return;
  WriteErr("\r\033[K");
  bar_open_ = false;
}

void TransferBoard::Print(const std::string& text) {
  std::lock_guard<std::mutex> lock(mu_);
  if (bar_open_) WriteErr("\r\033[K");
  WriteOut(!text.empty() && text.back() != '\n' ? text + "\n" : text);
  std::fflush(stdout);
  if (bar_open_) WriteErr(BarLine(bar_, BarColumns()));
}

void TransferBoard::Wait(int timeout_s, int idle_s) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(timeout_s);
  std::unique_lock<std::mutex> lock(mu_);
  int64_t seen = messages_;
  auto idle_deadline = idle_s > 0 ? Clock::now() + std::chrono::seconds(idle_s) : deadline;
  while (!done_) {
    cv_.wait_until(lock, std::min(deadline, idle_deadline));
    if (messages_ != seen && idle_s > 0) {
      seen = messages_;
      idle_deadline = Clock::now() + std::chrono::seconds(idle_s);
    }
    if (Clock::now() >= std::min(deadline, idle_deadline)) break;
  }
  CloseBarLocked();
  if (!done_) {
    cancel_ = true;
    std::string why = "no outcome within " + (Clock::now() >= deadline
                                                  ? "--timeout " + std::to_string(timeout_s) + " s"
                                                  : "--idle-timeout " + std::to_string(idle_s) + " s");
    for (size_t i = outcomes_; i < entries_.size(); ++i) {
      const qvn::FileEntry& e = entries_[i];
      bool upload = e.direction == qvn::TransferDirection::kUpload;
      FailedLocked(std::string(upload ? "upload " : "download ") +
                       Names(upload, e.client_file, e.server_file),
                   why);
    }
  } else if (done_failed_ > failed_) {
    WriteErr("qvn: " + std::to_string(done_failed_ - failed_) +
             " more file entries did not complete (no cause reported)\n");
    failed_ = done_failed_;
  }
  std::fflush(stderr);
}

size_t TransferBoard::Failed() const {
  std::lock_guard<std::mutex> lock(mu_);
  return failed_;
}

}  // namespace qvn_cli
