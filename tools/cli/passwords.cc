#include "passwords.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>

namespace qvn_cli {

std::string PromptSecret(const std::string& prompt) {
  termios saved{};
  bool restore = ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (restore) {
    termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    quiet.c_lflag |= ECHONL;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  // Only now: what is typed after the prompt must be neither echoed nor
  // flushed with the earlier input.
  std::fputs(prompt.c_str(), stderr);
  std::fflush(stderr);
  std::string line = StdinLine();
  if (restore) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  return line;
}

std::string StdinLine() {
  std::string line;
  std::getline(std::cin, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string Secret(const std::optional<std::string>& argument, const char* env,
                   const std::function<std::optional<std::string>()>& stored,
                   const std::string& prompt) {
  if (argument) return *argument == "-" ? StdinLine() : *argument;
  if (const char* value = std::getenv(env); value != nullptr) return value;
  if (stored) {
    if (std::optional<std::string> found = stored()) return *found;
  }
  if (::isatty(STDIN_FILENO)) return PromptSecret(prompt);
  throw std::invalid_argument(std::string("no password: set ") + env +
                              ", add it to the password file (~/.qvnpass), give '-' to read it "
                              "from standard input, or run on a terminal");
}

}  // namespace qvn_cli
