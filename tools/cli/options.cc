#include "options.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/environment.h"
#include "platform/socket.h"
#include "status.h"

namespace qvn_cli {

uint16_t PortNumber(const std::string& flag, const std::string& v) {
  if (v.empty() || v.size() > 5 || v.find_first_not_of("0123456789") != std::string::npos ||
      std::stoul(v) > 65535) {
    throw UsageError(flag + " wants a port number 0-65535, not '" + v + "'");
  }
  return static_cast<uint16_t>(std::stoul(v));
}

int32_t IntNumber(const std::string& what, const std::string& v) {
  char* end = nullptr;
  errno = 0;
  long long n = std::strtoll(v.c_str(), &end, 10);
  if (v.empty() || *end != '\0' || errno != 0 || n < INT32_MIN || n > INT32_MAX) {
    throw UsageError(what + " wants a whole number, not '" + v + "'");
  }
  return static_cast<int32_t>(n);
}

namespace {

int Milliseconds(const std::string& flag, const std::string& v) {
  int32_t n = IntNumber(flag, v);
  if (n < 0) throw UsageError(flag + " wants milliseconds (0: no limit), not '" + v + "'");
  return n;
}

}  // namespace

Args Parse(int argc, char** argv) {
  Args a;
  using qvn::platform::EnvironmentValue;
  if (std::string h = EnvironmentValue("QVN_HOST"); !h.empty()) a.host = h;
  if (std::string p = EnvironmentValue("QVN_PORT"); !p.empty()) a.port = PortNumber("QVN_PORT", p);
  if (std::string p = EnvironmentValue("QVN_FILE_PORT"); !p.empty()) {
    a.file_port = PortNumber("QVN_FILE_PORT", p);
  }
  if (std::string u = EnvironmentValue("QVN_USER"); !u.empty()) a.env_user = u;
  std::optional<std::string> file;  // -f
  bool flags = true;
  for (int i = 1; i < argc; ++i) {
    std::string s = argv[i];
    auto value = [&](const std::string& flag) -> std::string {
      if (s.size() > flag.size() && s.compare(0, flag.size() + 1, flag + "=") == 0) {
        return s.substr(flag.size() + 1);
      }
      if (i + 1 >= argc) throw UsageError(flag + " needs a value");
      return argv[++i];
    };
    auto is = [&](const std::string& flag) { return s == flag || s.rfind(flag + "=", 0) == 0; };
    auto option = [&](const char* name) { a.given.insert(name); };
    if (flags && s == "--") {
      flags = false;
    } else if (flags && (s == "--help" || s == "-?")) {
      a.help = true;
    } else if (flags && (s == "--version" || s == "-V")) {
      a.version = true;
    } else if (flags && (s == "-q" || s == "--quiet")) {
      a.quiet = true;
    } else if (flags && (s == "-c" || is("--command"))) {
      a.statements.push_back(s == "-c" ? value("-c") : value("--command"));
    } else if (flags && (s == "-f" || is("--file"))) {
      if (file) throw UsageError("-f may be given once");
      file = s == "-f" ? value("-f") : value("--file");
    } else if (flags && is("--connect-timeout")) {
      a.connect_timeout_ms = Milliseconds("--connect-timeout", value("--connect-timeout"));
    } else if (flags && is("--io-timeout")) {
      a.io_timeout_ms = Milliseconds("--io-timeout", value("--io-timeout"));
    } else if (flags && (s == "-h" || is("--host"))) {
      a.host = s == "-h" ? value("-h") : value("--host");
    } else if (flags && (s == "-p" || is("--port"))) {
      a.port = PortNumber(s == "-p" ? "-p" : "--port", s == "-p" ? value("-p") : value("--port"));
    } else if (flags && (s == "-U" || is("--user"))) {
      option("--user");
      a.user = s == "-U" ? value("-U") : value("--user");
    } else if (flags && is("--file-port")) {
      option("--file-port");
      a.file_port = PortNumber("--file-port", value("--file-port"));
    } else if (flags && is("--timeout")) {
      option("--timeout");
      a.timeout_s = IntNumber("--timeout", value("--timeout"));
    } else if (flags && is("--idle-timeout")) {
      option("--idle-timeout");
      a.idle_s = IntNumber("--idle-timeout", value("--idle-timeout"));
    } else if (flags && is("--probe-ms")) {
      option("--probe-ms");
      a.probe_ms = IntNumber("--probe-ms", value("--probe-ms"));
    } else if (flags && s == "--remove") {
      option("--remove");
      a.remove = true;
    } else if (flags && s == "--single") {
      option("--single");
      a.single = true;
    } else if (flags && s.size() > 1 && s[0] == '-' && s != "-" &&
               !(s.size() > 1 && (std::isdigit(static_cast<unsigned char>(s[1]))))) {
      throw UsageError("unknown option '" + s + "'");
    } else if (a.command.empty()) {
      a.command = s;
    } else {
      a.rest.push_back(s);
    }
  }
  if (!a.statements.empty() || file) {
    // psql's -c and -f: the script comes from the command line.
    if (!a.statements.empty() && file) throw UsageError("give -c STATEMENT or -f FILE, not both");
    if (!a.command.empty()) {
      throw UsageError("-c and -f take no command ('" + a.command + "' given)");
    }
    a.command = "script";
    if (file) a.rest.push_back(*file);
  }
  // The library reads a malformed time-out variable as no limit; the user
  // who set one meant a limit, so it is refused where no option replaces it.
  const struct {
    const char* name;
    int option_ms;
  } variables[] = {{"QVN_CONNECT_TIMEOUT_MS", a.connect_timeout_ms},
                   {"QVN_IO_TIMEOUT_MS", a.io_timeout_ms},
                   {"QVN_OPERATION_TIMEOUT_MS", 0}};
  for (const auto& v : variables) {
    const std::string value = EnvironmentValue(v.name);
    if (v.option_ms == 0 && value.find_first_not_of('0') != std::string::npos &&
        qvn::platform::ParseTimeoutMs(value) == 0) {
      throw UsageError(std::string(v.name) +
                       " wants a whole number of milliseconds up to 999999999, not '" + value + "'");
    }
  }
  return a;
}

void Need(const Args& a, size_t n, const char* synopsis) {
  if (a.rest.size() != n) throw UsageError(std::string("usage: qvn ") + synopsis);
}

std::optional<std::string> Arg(const Args& a, size_t i) {
  if (i < a.rest.size()) return a.rest[i];
  return std::nullopt;
}

}  // namespace qvn_cli
