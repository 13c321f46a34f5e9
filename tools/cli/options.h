// The command line: global options, command options and positional arguments.
#ifndef QVN_CLI_OPTIONS_H_
#define QVN_CLI_OPTIONS_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qvn_cli {

struct Args {
  std::string command;
  std::vector<std::string> rest;  // positional arguments after the command
  std::string host = "127.0.0.1";
  uint16_t port = 7711;
  uint16_t file_port = 7712;
  int timeout_s = 600;
  int idle_s = 120;
  int probe_ms = 5000;
  int connect_timeout_ms = 0;  // --connect-timeout: 0 is the library's default (none)
  int io_timeout_ms = 0;       // --io-timeout
  bool single = false;
  bool remove = false;
  bool help = false;
  bool version = false;
  bool quiet = false;                    // -q: no progress
  std::vector<std::string> statements;   // -c, in order: a script without a file
  std::optional<std::string> user;       // -U: the CLI builds the credentials line
  std::optional<std::string> env_user;   // $QVN_USER: -U's default where no line is given
  std::set<std::string> given;           // command options that were given
};

// Reads argv and the QVN_HOST / QVN_PORT / QVN_FILE_PORT / QVN_USER defaults.
// -c and -f make the command "script". Raises UsageError.
Args Parse(int argc, char** argv);

uint16_t PortNumber(const std::string& flag, const std::string& v);
int32_t IntNumber(const std::string& what, const std::string& v);

// Exactly n positional arguments, else UsageError with the synopsis.
void Need(const Args& a, size_t n, const char* synopsis);
// Positional argument i, if given.
std::optional<std::string> Arg(const Args& a, size_t i);

}  // namespace qvn_cli

#endif  // QVN_CLI_OPTIONS_H_
