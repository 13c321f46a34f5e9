// Follows a script's file transfers through the library's progress messages:
// one bar per file on a terminal, plain lines otherwise.
#ifndef QVN_CLI_PROGRESS_H_
#define QVN_CLI_PROGRESS_H_

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "qvn.h"
#include "transfer/file_sections.h"
#include "wide.h"

namespace qvn_cli {

// One file transfer the script will report on.
struct Transfer {
  bool upload = false;
  Wide client;  // local path
  Wide server;  // server name with its prefix
  bool silent = false;  // an empty file's upload sends no block, so no progress either
};

// The transfers of a script that the library will carry out, in order: its
// file entries less the uploads whose local file is missing (skipped).
std::vector<Transfer> ExpectedTransfers(const Wide& script);

class ProgressBoard {
 public:
  ProgressBoard(std::vector<Transfer> expected, bool terminal);

  // The window record to hand to Script; it points back at this board.
  QvnWindow* window() { return &window_; }

  // Prints text (a script answer) without tearing a bar that is being drawn.
  void Print(const std::string& text);

  // Waits until every expected transfer has reported its end or the
  // library's transfer thread has ended (a failed transfer reports nothing),
  // at most timeout_s in all and idle_s without any message. True when all
  // completed.
  bool Wait(int timeout_s, int idle_s);

  // One line per transfer that did not report its end.
  std::vector<std::string> Missing() const;

 private:
  struct State {
    Transfer transfer;
    int64_t size = -1;
    int64_t count = 0;
    bool done = false;
    bool passed = false;  // a later transfer began: this one ended without its last message
  };

  static intptr_t Proc(void* context, uint32_t message, uintptr_t wparam, intptr_t lparam);
  void OnProgress(const Wide& text);
  void DrawLocked(const State& s, bool final);
  bool AllSettledLocked() const;

  QvnWindow window_{};
  bool terminal_;
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::vector<State> states_;
  size_t cursor_ = 0;
  Wide last_text_;
  bool bar_open_ = false;
  std::string bar_line_;
  int64_t messages_ = 0;
  bool thread_ended_ = false;
};

}  // namespace qvn_cli

#endif  // QVN_CLI_PROGRESS_H_
