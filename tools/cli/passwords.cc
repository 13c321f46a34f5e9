#include "passwords.h"

#include <iostream>
#include <stdexcept>

#include "output.h"
#include "passfile.h"
#include "platform/environment.h"
#include "platform/terminal.h"

namespace qvn_cli {

std::string PromptSecret(const std::string& prompt) {
  if (!qvn::platform::IsTerminal(qvn::platform::StdStream::kInput)) {
    WriteErr(prompt);
    return StdinLine();
  }
  return qvn::platform::ReadTerminalLine(false, prompt).value_or("");
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
  if (std::optional<std::string> value = qvn::platform::FindEnvironmentValue(env)) return *value;
  if (stored) {
    if (std::optional<std::string> found = stored()) return *found;
  }
  if (qvn::platform::IsTerminal(qvn::platform::StdStream::kInput)) return PromptSecret(prompt);
  throw std::invalid_argument(std::string("no password: set ") + env +
                              ", add it to the password file (" + PassFilePath() + "), give '-' to read it "
                              "from standard input, or run on a terminal");
}

}  // namespace qvn_cli
