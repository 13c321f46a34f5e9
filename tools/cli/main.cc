// qvn: the command-line client of the Quarven database server, built on the
// library's public interface. This file picks the command and turns its
// failure into the exit status; commands.cc lists the commands.
#include <cstdio>
#include <stdexcept>
#include <string>

#include "commands.h"
#include "options.h"
#include "status.h"

using namespace qvn_cli;

int main(int argc, char** argv) {
  Args a;
  try {
    a = Parse(argc, argv);
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
      return c.run(a);
    }
    throw UsageError("unknown command '" + a.command + "' (qvn --help lists them)");
  } catch (const UsageError& e) {
    std::fprintf(stderr, "qvn: %s\n", e.what());
    return kUsage;
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "qvn: %s: %s\n", a.command.c_str(), e.what());
    return kUsage;
  } catch (const Unreachable& e) {
    std::fprintf(stderr, "qvn: %s: %s\n", a.command.c_str(), e.what());
    return kUnreachable;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qvn: %s: %s\n", a.command.c_str(), e.what());
    return kRefused;
  }
}
