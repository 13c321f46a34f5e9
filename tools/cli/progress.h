// Follows a script's file transfers through the library's messages: progress
// on stderr (a bar per file on a terminal, a line per finished file
// otherwise, none when quiet), one outcome per file entry, and the thread's
// last message. Every entry that does not complete gets one line on stderr
// naming the file and the cause, quiet or not.
#ifndef QVN_CLI_PROGRESS_H_
#define QVN_CLI_PROGRESS_H_

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/message_window.h"
#include "progress_bar.h"
#include "qvn.h"
#include "transfer/file_sections.h"
#include "wide.h"

namespace qvn_cli {

class TransferBoard {
 public:
  // entries: the script's file entries, in the order the library runs them.
  TransferBoard(std::vector<qvn::FileEntry> entries, bool terminal, bool quiet);

  // The window to hand to Script (Linux: a QvnWindow record, Windows: a
  // message-only window on a thread of its own); it reports to this board.
  void* window() const { return window_.handle(); }

  // Prints an answer on stdout without tearing a bar that is being drawn.
  void Print(const std::string& text);

  // Waits for the library's last message, at most timeout_s in all and idle_s
  // (0: no limit) without any message. Entries still without an outcome then
  // get their line, and the next progress message cancels the transfers.
  void Wait(int timeout_s, int idle_s);

  // The number of entries that did not complete.
  size_t Failed() const;

 private:
  struct Progress {
    std::string names;  // "client -> server" or "server -> client"
    bool upload = false;
    int64_t size = 0, count = 0;
    bool finished = false;
  };

  static intptr_t Proc(void* context, uint32_t message, uintptr_t wparam, intptr_t lparam);
  intptr_t OnProgress(uintptr_t index, const Wide& text);
  void OnOutcome(uintptr_t index, const QvnTransferOutcome& outcome);
  void FinishedLocked(const Progress& p, bool with_size);
  void FailedLocked(const std::string& what, const std::string& why);
  void CloseBarLocked();

  std::vector<qvn::FileEntry> entries_;
  const bool terminal_, quiet_;
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::map<uintptr_t, Progress> progress_;  // by the transfer's index
  bool bar_open_ = false;
  BarState bar_;  // what the open bar shows, laid out again for each redraw
  size_t outcomes_ = 0;  // outcome messages so far: entries_[outcomes_] runs next
  size_t failed_ = 0;
  int64_t messages_ = 0;
  bool done_ = false;
  size_t done_failed_ = 0;  // the last message's count of entries that did not complete
  bool cancel_ = false;
  qvn::platform::MessageWindow window_;  // last: made when the rest is ready
};

}  // namespace qvn_cli

#endif  // QVN_CLI_PROGRESS_H_
