#include "line_editor.h"

#include <fstream>

#include "platform/terminal.h"
#include "platform/user_files.h"

namespace qvn_cli {
namespace {

bool Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

void Write(const std::string& s) { qvn::platform::WriteTerminal(qvn::platform::StdStream::kOutput, s); }

// Code points of s[0, end): the terminal columns before the cursor.
size_t Columns(const std::string& s, size_t end) {
  size_t n = 0;
  for (size_t i = 0; i < end; ++i) n += Continuation(s[i]) ? 0 : 1;
  return n;
}

}  // namespace

LineEditor::LineEditor(std::string history_file) : history_file_(std::move(history_file)) {
  std::ifstream in(qvn::platform::PathOfUtf8(history_file_));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) history_.push_back(line);
  }
}

void LineEditor::AddHistory(const std::string& line) {
  if (line.empty() || (!history_.empty() && history_.back() == line)) return;
  history_.push_back(line);
  // Statements may hold what others must not read: the file is the user's
  // alone when this creates it. A history that cannot be kept is no failure.
  (void)qvn::platform::AppendToPrivateFile(history_file_, line + "\n");
}

std::optional<std::string> LineEditor::ReadLine(const std::string& prompt) {
  qvn::platform::RawKeys keys;
  if (!keys.active()) {
    // A console that gives no keys (Windows without virtual-terminal input):
    // its own line editing and history instead.
    Write(prompt);
    std::optional<std::string> line = qvn::platform::ReadTerminalLine(true, "");
    if (line) AddHistory(*line);
    return line;
  }
  std::string line;
  size_t cursor = 0;                 // byte offset
  size_t recalled = history_.size();  // history_.size(): the line being typed
  std::string typed;                 // that line, while history is shown
  auto redraw = [&] {
    std::string s = "\r\033[K" + prompt + line;
    size_t back = Columns(line, line.size()) - Columns(line, cursor);
    if (back > 0) s += "\033[" + std::to_string(back) + "D";
    Write(s);
  };
  auto recall = [&](size_t index) {
    if (recalled == history_.size()) typed = line;
    recalled = index;
    line = recalled == history_.size() ? typed : history_[recalled];
    cursor = line.size();
  };
  redraw();
  for (;;) {
    char c = 0;
    if (!keys.Next(c)) return std::nullopt;
    if (c == '\r' || c == '\n') {
      Write("\r\n");
      AddHistory(line);
      return line;
    }
    if (c == 4) {  // Ctrl-D
      if (line.empty()) {
        Write("\r\n");
        return std::nullopt;
      }
      if (cursor < line.size()) {
        size_t end = cursor + 1;
        while (end < line.size() && Continuation(line[end])) ++end;
        line.erase(cursor, end - cursor);
      }
    } else if (c == 3) {  // Ctrl-C: drop the line
      Write("^C\r\n");
      line.clear();
      cursor = 0;
      recalled = history_.size();
    } else if (c == 127 || c == 8) {
      size_t start = cursor;
      while (start > 0 && Continuation(line[start - 1])) --start;
      if (start > 0) --start;
      line.erase(start, cursor - start);
      cursor = start;
    } else if (c == 1) {
      cursor = 0;
    } else if (c == 5) {
      cursor = line.size();
    } else if (c == 21) {
      line.erase(0, cursor);
      cursor = 0;
    } else if (c == 11) {
      line.erase(cursor);
    } else if (c == 27) {
      char seq[2];
      if (!keys.Next(seq[0]) || !keys.Next(seq[1])) continue;
      if (seq[0] != '[' && seq[0] != 'O') continue;
      char key = seq[1];
      if (key >= '0' && key <= '9') {  // "ESC [ 3 ~" and the like
        char tilde = 0;
        if (!keys.Next(tilde)) continue;
        key = key == '3' ? 'X' : key == '1' || key == '7' ? 'H' : key == '4' || key == '8' ? 'F' : 0;
      }
      if (key == 'A' && recalled > 0) {
        recall(recalled - 1);
      } else if (key == 'B' && recalled < history_.size()) {
        recall(recalled + 1);
      } else if (key == 'C' && cursor < line.size()) {
        ++cursor;
        while (cursor < line.size() && Continuation(line[cursor])) ++cursor;
      } else if (key == 'D' && cursor > 0) {
        --cursor;
        while (cursor > 0 && Continuation(line[cursor])) --cursor;
      } else if (key == 'H') {
        cursor = 0;
      } else if (key == 'F') {
        cursor = line.size();
      } else if (key == 'X' && cursor < line.size()) {
        size_t end = cursor + 1;
        while (end < line.size() && Continuation(line[end])) ++end;
        line.erase(cursor, end - cursor);
      }
    } else if (static_cast<unsigned char>(c) >= 0x20) {
      line.insert(cursor, 1, c);
      ++cursor;
    }
    redraw();
  }
}

}  // namespace qvn_cli
