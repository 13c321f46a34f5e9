// A small line editor for the interactive shell: cursor keys, history
// (Up/Down, kept in a file), Home/End, Backspace/Delete, Ctrl-A/E/U/K, Ctrl-C
// drops the line, Ctrl-D on an empty line ends the input. Where the terminal
// gives no keys one at a time (a Windows console without virtual-terminal
// input) the console's own line editing and history serve instead.
#ifndef QVN_CLI_LINE_EDITOR_H_
#define QVN_CLI_LINE_EDITOR_H_

#include <optional>
#include <string>
#include <vector>

namespace qvn_cli {

class LineEditor {
 public:
  // history_file: one entry a line; read now, each new entry appended.
  explicit LineEditor(std::string history_file);

  // One line typed on the terminal (standard input), or nullopt at the end.
  std::optional<std::string> ReadLine(const std::string& prompt);

 private:
  void AddHistory(const std::string& line);

  std::string history_file_;
  std::vector<std::string> history_;
};

}  // namespace qvn_cli

#endif  // QVN_CLI_LINE_EDITOR_H_
