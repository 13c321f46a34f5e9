#include <windows.h>

#include <cstdio>

#include "base/text.h"
#include "platform/terminal.h"

namespace qvn::platform {
namespace {

HANDLE Handle(StdStream stream) {
  return GetStdHandle(stream == StdStream::kInput    ? STD_INPUT_HANDLE
                      : stream == StdStream::kOutput ? STD_OUTPUT_HANDLE
                                                     : STD_ERROR_HANDLE);
}

// The console's input mode, put back when this ends.
class InputMode {
 public:
  explicit InputMode(DWORD mode) : handle_(Handle(StdStream::kInput)) {
    ok_ = GetConsoleMode(handle_, &saved_) != 0 && SetConsoleMode(handle_, mode) != 0;
  }
  ~InputMode() {
    if (ok_) SetConsoleMode(handle_, saved_);
  }
  InputMode(const InputMode&) = delete;
  InputMode& operator=(const InputMode&) = delete;
  bool ok() const { return ok_; }

 private:
  HANDLE handle_;
  DWORD saved_ = 0;
  bool ok_ = false;
};

}  // namespace

bool IsTerminal(StdStream stream) {
  DWORD mode = 0;
  return GetConsoleMode(Handle(stream), &mode) != 0;
}

int StderrTerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
  // The visible window, not the (often much wider) screen buffer.
  return info.srWindow.Right - info.srWindow.Left + 1;
}

void WriteTerminal(StdStream stream, std::string_view utf8) {
  std::fflush(stdout);
  std::fflush(stderr);
  HANDLE out = Handle(stream);
  DWORD mode = 0;
  // The bar's "\r\033[K" needs the console's escape sequences (Windows 10
  // and later; an older console shows them as they are).
  if (GetConsoleMode(out, &mode) != 0 && (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0) {
    SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  }
  const Text text = Utf8ToText(utf8);
  const auto* p = reinterpret_cast<const wchar_t*>(text.data());
  size_t left = text.size();
  while (left > 0) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(left < 8192 ? left : 8192);
    if (!WriteConsoleW(out, p, chunk, &written, nullptr) || written == 0) return;
    p += written;
    left -= written;
  }
}

std::optional<std::string> ReadTerminalLine(bool echo, std::string_view prompt) {
  HANDLE in = Handle(StdStream::kInput);
  DWORD mode = 0;
  GetConsoleMode(in, &mode);
  mode |= ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT;
  if (echo) {
    mode |= ENABLE_ECHO_INPUT;
  } else {
    mode &= ~static_cast<DWORD>(ENABLE_ECHO_INPUT);
    FlushConsoleInputBuffer(in);
  }
  InputMode line_mode(mode);
  WriteTerminal(StdStream::kError, prompt);
  // The console's own line editing (cursor keys, F7 history) while it reads.
  Text line;
  bool any = false;
  for (;;) {
    wchar_t piece[256];
    DWORD n = 0;
    if (!ReadConsoleW(in, piece, 256, &n, nullptr) || n == 0) break;
    any = true;
    line.append(reinterpret_cast<const char16_t*>(piece), n);
    if (line.find(u'\n') != Text::npos) break;
  }
  if (!echo) WriteTerminal(StdStream::kError, "\n");  // the Enter that did not show
  if (!any) return std::nullopt;
  const size_t end = line.find_first_of(u"\r\n");
  if (end != Text::npos) line.resize(end);
  return TextToUtf8(line);
}

struct RawKeys::Saved {
  HANDLE input = nullptr;
  DWORD mode = 0;
};

RawKeys::RawKeys() : saved_(std::make_unique<Saved>()) {
  saved_->input = Handle(StdStream::kInput);
  if (GetConsoleMode(saved_->input, &saved_->mode) == 0) return;
  // Keys as VT100 sequences, Ctrl-C as a byte: the editor does the rest.
  active_ = SetConsoleMode(saved_->input, ENABLE_VIRTUAL_TERMINAL_INPUT) != 0;
}

RawKeys::~RawKeys() {
  if (active_) SetConsoleMode(saved_->input, saved_->mode);
}

bool RawKeys::Next(char& byte) {
  while (pending_.empty()) {
    wchar_t unit[2];
    DWORD n = 0;
    if (!ReadConsoleW(saved_->input, unit, 1, &n, nullptr) || n == 0) return false;
    if (unit[0] >= 0xD800 && unit[0] < 0xDC00) {  // the first half of a pair: read the second
      if (!ReadConsoleW(saved_->input, unit + 1, 1, &n, nullptr) || n == 0) return false;
      pending_ = TextToUtf8(Text(reinterpret_cast<const char16_t*>(unit), 2));
    } else {
      pending_ = TextToUtf8(Text(1, static_cast<char16_t>(unit[0])));
    }
  }
  byte = pending_.front();
  pending_.erase(0, 1);
  return true;
}

}  // namespace qvn::platform
