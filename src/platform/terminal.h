// The terminal (Windows: the console) that a command-line program talks to:
// whether a standard stream is one, its width, reading a line without echo,
// reading keys one at a time, and writing text so that any character shows.
#ifndef QVN_PLATFORM_TERMINAL_H_
#define QVN_PLATFORM_TERMINAL_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qvn::platform {

enum class StdStream { kInput, kOutput, kError };

// Whether the stream is a terminal (Windows: a console), not a file or pipe.
bool IsTerminal(StdStream stream);

// The number of columns of the terminal (Windows: the console window) that
// standard error writes to, as it is now; 0 when standard error is no
// terminal or the system does not say. Cheap enough to ask before each
// redraw, which also follows a resize.
int StderrTerminalColumns();

// Writes UTF-8 text to a stream that is a terminal, so that every character
// shows whatever the terminal's code page (Windows: WriteConsoleW, with the
// console's escape sequences turned on so that "\r\033[K" clears the line).
// The C streams are flushed first, so that earlier output stays before it.
void WriteTerminal(StdStream stream, std::string_view utf8);

// One line typed on the terminal of standard input, in UTF-8 and without its
// line break, edited as the terminal itself edits lines, after `prompt` on
// the terminal of standard error; nullopt at the end of input. With echo
// false nothing typed shows (the Enter still moves to the next line), and
// what was typed before the prompt is dropped, so that no earlier keystroke
// becomes part of a password (the prompt shows only once echo is off).
std::optional<std::string> ReadTerminalLine(bool echo, std::string_view prompt);

// Keys from the terminal of standard input as they are pressed, for a line
// editor of its own: no echo, no line editing, Ctrl-C and Ctrl-D as bytes,
// cursor keys as the escape sequences of a VT100 ("\033[A"), text in UTF-8.
// Restores the terminal when it ends.
class RawKeys {
 public:
  RawKeys();
  ~RawKeys();
  RawKeys(const RawKeys&) = delete;
  RawKeys& operator=(const RawKeys&) = delete;

  // False when the terminal cannot give keys so (Windows: a console without
  // virtual-terminal input); then ReadTerminalLine is the way to read.
  bool active() const { return active_; }

  // The next byte; false at the end of input.
  bool Next(char& byte);

 private:
  struct Saved;  // the terminal's settings to restore, as each system keeps them
  std::unique_ptr<Saved> saved_;
  bool active_ = false;
  std::string pending_;  // the rest of a key's UTF-8 (Windows reads UTF-16)
};

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_TERMINAL_H_
