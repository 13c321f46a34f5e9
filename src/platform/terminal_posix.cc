#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "platform/terminal.h"

namespace qvn::platform {
namespace {

int Descriptor(StdStream stream) {
  return stream == StdStream::kInput    ? STDIN_FILENO
         : stream == StdStream::kOutput ? STDOUT_FILENO
                                        : STDERR_FILENO;
}

}  // namespace

bool IsTerminal(StdStream stream) { return ::isatty(Descriptor(stream)) != 0; }

int StderrTerminalColumns() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

void WriteTerminal(StdStream stream, std::string_view utf8) {
  std::fflush(stdout);
  std::fflush(stderr);
  const int fd = Descriptor(stream);
  size_t done = 0;
  while (done < utf8.size()) {
    ssize_t n = ::write(fd, utf8.data() + done, utf8.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

std::optional<std::string> ReadTerminalLine(bool echo, std::string_view prompt) {
  termios saved{};
  const bool restore = !echo && ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (restore) {
    termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    quiet.c_lflag |= ECHONL;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  WriteTerminal(StdStream::kError, prompt);
  // Byte by byte from the descriptor: a buffered stream would keep what
  // follows the line from the next reader.
  std::string line;
  bool any = false;
  for (char c = 0; ::read(STDIN_FILENO, &c, 1) == 1;) {
    any = true;
    if (c == '\n') break;
    line.push_back(c);
  }
  if (restore) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  if (!any) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

struct RawKeys::Saved {
  termios settings{};
};

RawKeys::RawKeys() : saved_(std::make_unique<Saved>()) {
  if (::tcgetattr(STDIN_FILENO, &saved_->settings) != 0) return;
  termios raw = saved_->settings;
  raw.c_lflag &= static_cast<tcflag_t>(~(ECHO | ICANON | ISIG | IEXTEN));
  raw.c_iflag &= static_cast<tcflag_t>(~(IXON | ICRNL));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  active_ = ::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
}

RawKeys::~RawKeys() {
  if (active_) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_->settings);
}

bool RawKeys::Next(char& byte) { return ::read(STDIN_FILENO, &byte, 1) == 1; }

}  // namespace qvn::platform
