// qvn: the command-line client of the Quarven database server, built on the
// library's public interface. This file picks the command and turns its
// failure into the exit status; commands.cc lists the commands.
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <vector>

#include "commands.h"
#include "options.h"
#include "output.h"
#include "platform/command_line.h"
#include "platform/environment.h"
#include "status.h"

using namespace qvn_cli;

namespace {

// The library reads its time-outs from the environment once, at its first
// connection: they are set before any library call.
void SetLibraryTimeouts(const Args& a) {
  using qvn::platform::SetEnvironmentValue;
  if (a.connect_timeout_ms > 0) {
    SetEnvironmentValue("QVN_CONNECT_TIMEOUT_MS", std::to_string(a.connect_timeout_ms));
  }
  if (a.io_timeout_ms > 0) SetEnvironmentValue("QVN_IO_TIMEOUT_MS", std::to_string(a.io_timeout_ms));
}

// "qvn: " and the text, as one line on stderr.
void Fail(const std::string& text) { WriteErr("qvn: " + text + "\n"); }

}  // namespace

int main(int argc, char** argv) {
  // Answers and scripts pass as bytes; the arguments arrive in UTF-8.
  qvn::platform::UseBinaryStandardStreams();
  std::vector<std::string> arguments = qvn::platform::CommandLineArguments(argc, argv);
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  Args a;
  try {
    a = Parse(static_cast<int>(arguments.size()), pointers.data());
    if (a.version && a.command.empty()) return PrintVersion();
    if (a.command.empty() || a.command == "help") {
      PrintGeneralHelp(a.help || a.command == "help" ? stdout : stderr);
      return a.help || a.command == "help" ? 0 : kUsage;
    }
    for (size_t i = 0; i < kCommandCount; ++i) {
      const Command& c = kCommands[i];
      if (a.command != c.name) continue;
      if (a.help) {
        std::printf("usage: qvn [-h HOST] [-p PORT] %s\n\n%s\n", c.synopsis, c.help);
        return 0;
      }
      if (a.version) throw UsageError("--version takes no command");
      for (const std::string& option : a.given) {
        if (!c.options.contains(option)) {
          throw UsageError(option + " does not apply to " + c.name + " (qvn " + c.name + " --help)");
        }
      }
      SetLibraryTimeouts(a);
      return c.run(a);
    }
    throw UsageError("unknown command '" + a.command + "' (qvn --help lists them)");
  } catch (const UsageError& e) {
    Fail(e.what());
    return kUsage;
  } catch (const std::invalid_argument& e) {
    Fail(a.command + ": " + e.what());
    return kUsage;
  } catch (const Unreachable& e) {
    Fail(a.command + ": " + e.what());
    return kUnreachable;
  } catch (const std::exception& e) {
    Fail(a.command + ": " + e.what());
    return kRefused;
  }
}
