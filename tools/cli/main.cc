// qvn: the command-line client of the Quarven database server, built on the
// library's public interface.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "conversation/answer_words.h"
#include "line_editor.h"
#include "passwords.h"
#include "progress.h"
#include "qvn.h"
#include "temp_files.h"
#include "wide.h"

namespace {

using namespace qvn_cli;

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// Exit status 1: refused, not found, or the answer NONE.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// Exit status 3: the server could not be reached.
struct Unreachable : std::runtime_error {
  using std::runtime_error::runtime_error;
};

constexpr int kRefused = 1, kUsage = 2, kUnreachable = 3;

struct Args {
  std::string command;
  std::vector<std::string> rest;  // positional arguments after the command
  std::string host = "127.0.0.1";
  uint16_t port = 7711;
  uint16_t file_port = 7712;
  int timeout_s = 600;
  int idle_s = 120;
  int probe_ms = 5000;
  bool single = false;
  bool remove = false;
  bool help = false;
  bool version = false;
  std::optional<std::string> user;  // -U: the CLI builds the credentials line
  std::set<std::string> given;      // command options that were given
};

struct Command {
  const char* name;
  const char* synopsis;
  const char* help;
  int (*run)(const Args&);
  std::set<std::string> options = {};  // the command options it takes
};

const char kGeneral[] =
    "usage: qvn [-h HOST] [-p PORT] COMMAND [ARGUMENTS]\n"
    "       qvn --help | -? | --version\n"
    "\n"
    "Talks to a Quarven database server through the qvn library.\n"
    "Defaults: -h/--host 127.0.0.1 (or $QVN_HOST), -p/--port 7711 ($QVN_PORT),\n"
    "--file-port 7712 ($QVN_FILE_PORT). A TEXT argument of '-' is read from\n"
    "standard input. Texts are UTF-8. 'qvn COMMAND --help' explains a command.\n"
    "\n"
    "Passwords: a PASSWORD or CREDENTIALS argument of '-' is read from standard\n"
    "input; left out, it comes from $QVN_PASSWORD (user) / $QVN_DB_PASSWORD\n"
    "(database), else from a prompt without echo on a terminal. -U USER builds\n"
    "the credentials line dbpassword@USER@password from those sources.\n"
    "\n"
    "Exit status: 0 success; 1 refused, not found or NONE, or a file transfer\n"
    "did not complete; 2 wrong usage; 3 the server could not be reached.\n"
    "\n"
    "commands:\n";

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

Args Parse(int argc, char** argv) {
  Args a;
  if (const char* h = std::getenv("QVN_HOST"); h && *h) a.host = h;
  if (const char* p = std::getenv("QVN_PORT"); p && *p) a.port = PortNumber("QVN_PORT", p);
  if (const char* p = std::getenv("QVN_FILE_PORT"); p && *p) a.file_port = PortNumber("QVN_FILE_PORT", p);
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
    } else if (flags && s == "--version") {
      a.version = true;
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
  return a;
}

std::string ReadAll(std::istream& in) {
  std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (s.rfind("\xEF\xBB\xBF", 0) == 0) s.erase(0, 3);
  return s;
}

// A TEXT argument: itself, or standard input for "-".
Wide TextArg(const std::string& s) {
  if (s == "-") return FromUtf8(ReadAll(std::cin));
  return FromUtf8(s);
}

void Need(const Args& a, size_t n, const char* synopsis) {
  if (a.rest.size() != n) throw UsageError(std::string("usage: qvn ") + synopsis);
}

std::string Where(const Args& a) { return a.host + ":" + std::to_string(a.port); }

// The server could not be reached, or it answered: for the answers that
// cannot tell the two apart.
bool Reachable(const Args& a) {
  Wide host = FromUtf8(a.host);
  return TryConnect(reinterpret_cast<const qvn_char*>(host.c_str()), a.port, 5000);
}

// Prints a server answer; failure words and refusals end the command.
int Answer(const Args& a, const Wide& answer) {
  if (answer == qvn::kConnectionError) {
    throw Unreachable(ToUtf8(answer) + " (no answer from " + Where(a) + ")");
  }
  if (answer == qvn::kNoneAnswer) throw Failure("NONE (nothing obtained from " + Where(a) + ")");
  std::string out = ForTerminal(answer);
  std::fputs(out.c_str(), stdout);
  std::fputs("\n", stdout);
  if (answer == u"DENIED" || answer.starts_with(u"ERROR")) {
    std::fprintf(stderr, "qvn: %s: refused by %s\n", a.command.c_str(), Where(a).c_str());
    return kRefused;
  }
  return 0;
}

// The credentials line: built with -U from the password sources, or the
// argument itself ("-": a line of standard input).
Wide Credentials(const Args& a, const std::optional<std::string>& argument) {
  if (a.user) {
    if (argument) throw UsageError("give either -U USER or a CREDENTIALS line, not both");
    std::string db = Secret(std::nullopt, "QVN_DB_PASSWORD", "Database password: ");
    std::string pw = Secret(std::nullopt, "QVN_PASSWORD", "Password for " + *a.user + ": ");
    return FromUtf8(db + "@" + *a.user + "@" + pw);
  }
  if (!argument) throw UsageError("no credentials: give -U USER or a CREDENTIALS line");
  return FromUtf8(*argument == "-" ? StdinLine() : *argument);
}

std::optional<std::string> Arg(const Args& a, size_t i) {
  if (i < a.rest.size()) return a.rest[i];
  return std::nullopt;
}

int PrintText(const Wide& text) {
  std::string out = ForTerminal(text);
  std::fputs(out.c_str(), stdout);
  std::fputs("\n", stdout);
  return 0;
}

// --- commands --------------------------------------------------------------

qvn_cli::ProgressBoard* g_board = nullptr;

// Lines that begin with "/" are comments to the library, even inside a file
// section, where they look like absolute paths: say so before sending.
void WarnAboutSlashEntries(const Wide& script) {
  std::vector<Wide> lines = qvn::SplitLines(script);
  bool inside = false;
  for (size_t n = 0; n < lines.size(); ++n) {
    Wide line = qvn::Trim(lines[n]);
    if (!inside) {
      inside = qvn::IsFileSectionHeader(line) && !line.ends_with(u"}");
      continue;
    }
    if (line.size() > 1 && line[0] == u'/' && !qvn::IsBlank(line[1]) && line[1] != u'/') {
      std::fprintf(stderr,
                   "qvn: warning: line %zu, '%s': a line that begins with '/' is a comment, so this "
                   "entry is not transferred; write the path relative to the folder qvn runs in, or "
                   "put it directly after the section's '{'\n",
                   n + 1, ToUtf8(line).c_str());
    } else if (line.ends_with(u"}")) {
      inside = false;
    }
  }
}

int Run(const Args& a, const Wide& script);

int RunScript(const Args& a) {
  if (a.rest.size() > 1) throw UsageError("usage: qvn script [FILE|-]");
  std::string source;
  if (a.rest.empty() || a.rest[0] == "-") {
    source = ReadAll(std::cin);
  } else {
    std::ifstream file(a.rest[0], std::ios::binary);
    if (!file) throw Failure("cannot read " + a.rest[0]);
    source = ReadAll(file);
  }
  Wide script = FromUtf8(source);
  if (a.user) script = Credentials(a, std::nullopt) + u"\r\n" + script;
  int status = Run(a, script);
  std::fflush(stdout);
  std::fflush(stderr);
  // The library's transfer thread may still be closing its last connection
  // (or running a transfer that never reported): leave without tearing down
  // what it may still use.
  std::_Exit(status);
}

// Sends one script, follows its transfers; the exit status it deserves.
int Run(const Args& a, const Wide& script) {
  WarnAboutSlashEntries(script);
  std::vector<Transfer> expected;
  if (a.file_port != 0 && a.port != 0) expected = ExpectedTransfers(script);
  size_t transfers = expected.size();
  // The board outlives main: the library's transfer thread may still call it
  // (a final message can come twice). It is never freed.
  g_board = new ProgressBoard(std::move(expected), isatty(STDOUT_FILENO) != 0);
  ProgressBoard* board = g_board;
  Wide host = FromUtf8(a.host);
  Wide answer = TakeResult(Script(board->window(), reinterpret_cast<const qvn_char*>(script.c_str()),
                                  reinterpret_cast<const qvn_char*>(host.c_str()), a.port,
                                  a.file_port));
  if (!answer.empty()) board->Print(ForTerminal(answer));
  bool none = answer == qvn::kNoneAnswer || answer.ends_with(u"\r\n" + Wide(qvn::kNoneAnswer));
  bool connection_error = false;
  for (const Wide& line : qvn::SplitLines(answer)) {
    if (line == qvn::kConnectionError) connection_error = true;
  }
  // An empty answer to a request that was sent: the server did not accept
  // the credentials (it has no key to answer under).
  std::vector<Wide> commands = qvn::SplitLines(script), file_sections;
  qvn::SplitFileSections(commands, file_sections);
  bool refused = answer.empty() && a.port != 0 && commands.size() > 1;
  int status = 0;
  if (transfers > 0 && !board->Wait(a.timeout_s, a.idle_s)) {
    for (const std::string& m : board->Missing()) std::fprintf(stderr, "qvn: script: %s\n", m.c_str());
    status = kRefused;
  }
  if (none || connection_error) {
    bool down = connection_error || !Reachable(a);
    std::fprintf(stderr, "qvn: script: %s (from %s)\n",
                 down ? "server not reachable" : "NONE: the request was refused or obtained nothing",
                 Where(a).c_str());
    status = down ? kUnreachable : kRefused;
  } else if (refused) {
    std::fprintf(stderr, "qvn: script: refused (no answer to the credentials line from %s)\n",
                 Where(a).c_str());
    status = kRefused;
  }
  return status;
}

// Interactive: the credentials once, then scripts typed line by line, each
// sent on an empty line. Without a terminal the same from standard input.
int RunShell(const Args& a) {
  Need(a, 0, "shell [-U USER]");
  bool terminal = ::isatty(STDIN_FILENO) != 0;
  Wide credentials;
  if (a.user) {
    credentials = Credentials(a, std::nullopt);
  } else if (terminal) {
    std::fputs("User: ", stderr);
    Args named = a;
    named.user = StdinLine();
    credentials = Credentials(named, std::nullopt);
  } else {
    credentials = FromUtf8(StdinLine());
  }
  const char* home = std::getenv("HOME");
  LineEditor editor(std::string(home != nullptr ? home : ".") + "/.qvn_history");
  if (terminal) {
    std::printf("qvn shell on %s: a script line by line, an empty line sends it, Ctrl-D ends.\n",
                Where(a).c_str());
  }
  int status = 0;
  for (;;) {
    Wide script;
    bool end = false;
    for (;;) {
      std::optional<std::string> line;
      if (terminal) {
        std::fflush(stdout);
        line = editor.ReadLine(script.empty() ? "qvn> " : "...> ");
      } else if (std::cin.good() && std::cin.peek() != EOF) {
        line = StdinLine();
      }
      if (!line) {
        end = true;
        break;
      }
      if (line->empty()) break;
      script += FromUtf8(*line) + u"\r\n";
    }
    if (!script.empty()) status = Run(a, credentials + u"\r\n" + script);
    std::fflush(stdout);
    if (end) break;
  }
  std::fflush(stderr);
  std::_Exit(status);
}

int RunTryConnect(const Args& a) {
  Need(a, 0, "try-connect [--probe-ms N]");
  Wide host = FromUtf8(a.host);
  bool ok = TryConnect(reinterpret_cast<const qvn_char*>(host.c_str()), a.port, a.probe_ms);
  std::puts(ok ? "true" : "false");
  if (!ok) throw Unreachable("no server at " + Where(a));
  return 0;
}

#define QVN_TEXT(w) reinterpret_cast<const qvn_char*>((w).c_str())

int RunDbName(const Args& a) {
  Need(a, 0, "db-name");
  Wide host = FromUtf8(a.host);
  return Answer(a, TakeResult(ShowDbName(QVN_TEXT(host), a.port)));
}

int RunCheckPassword(const Args& a) {
  if (a.rest.size() > 1) throw UsageError("usage: qvn check-password [-U USER | CREDENTIALS|-]");
  Wide host = FromUtf8(a.host), cred = Credentials(a, Arg(a, 0));
  return Answer(a, TakeResult(TryDbPassword(QVN_TEXT(host), a.port, QVN_TEXT(cred))));
}

int RunChangePassword(const Args& a) {
  const char* synopsis = "usage: qvn change-password USER | DB_PASSWORD USER PASSWORD NEW_PASSWORD";
  if (a.rest.size() != 1 && a.rest.size() != 4) throw UsageError(synopsis);
  bool one = a.rest.size() == 1;
  const std::string& name = one ? a.rest[0] : a.rest[1];
  auto slot = [&](size_t i) { return one ? std::nullopt : Arg(a, i); };
  std::string db = Secret(slot(0), "QVN_DB_PASSWORD", "Database password: ");
  std::string pw = Secret(slot(2), "QVN_PASSWORD", "Password for " + name + ": ");
  std::string fresh = Secret(slot(3), "QVN_NEW_PASSWORD", "New password for " + name + ": ");
  Wide host = FromUtf8(a.host), wdb = FromUtf8(db), user = FromUtf8(name), wpw = FromUtf8(pw),
       wfresh = FromUtf8(fresh);
  return Answer(a, TakeResult(ChangeUniquePass(QVN_TEXT(host), a.port, QVN_TEXT(wdb), QVN_TEXT(user),
                                               QVN_TEXT(wpw), QVN_TEXT(wfresh))));
}

int RunMessage(const Args& a) {
  const char* synopsis = "message pipe TEXT | message file TEXT | message tcp HOST PORT TEXT";
  if (a.rest.empty()) throw UsageError(std::string("usage: qvn ") + synopsis);
  Wide host = FromUtf8(a.host);
  const std::string& channel = a.rest[0];
  if (channel == "pipe" || channel == "file") {
    if (a.rest.size() != 2) throw UsageError(std::string("usage: qvn ") + synopsis);
    Wide text = TextArg(a.rest[1]);
    qvn_char* r = channel == "pipe" ? DbMessagePipe(QVN_TEXT(host), a.port, QVN_TEXT(text))
                                    : DbMessageFile(QVN_TEXT(host), a.port, QVN_TEXT(text));
    return Answer(a, TakeResult(r));
  }
  if (channel == "tcp") {
    if (a.rest.size() != 4) throw UsageError(std::string("usage: qvn ") + synopsis);
    Wide receiver = FromUtf8(a.rest[1]);
    uint16_t port = PortNumber("receiver port", a.rest[2]);
    Wide text = TextArg(a.rest[3]);
    return Answer(a, TakeResult(DbMessageTcp(QVN_TEXT(host), a.port, QVN_TEXT(receiver), port,
                                             QVN_TEXT(text))));
  }
  throw UsageError(std::string("usage: qvn ") + synopsis);
}

int RunAuth(const Args& a) {
  if (a.rest.empty() || a.rest.size() > 2) throw UsageError("usage: qvn auth USER [PASSWORD|-]");
  std::string pw = Secret(Arg(a, 1), "QVN_PASSWORD", "Password for " + a.rest[0] + ": ");
  Wide host = FromUtf8(a.host), user = FromUtf8(a.rest[0]), wpw = FromUtf8(pw);
  Wide r = TakeResult(UserAuthentication(QVN_TEXT(host), a.port, QVN_TEXT(user), QVN_TEXT(wpw)));
  if (r.empty()) {
    if (!Reachable(a)) throw Unreachable("no answer from " + Where(a));
    throw Failure("authentication refused (empty answer from " + Where(a) + ")");
  }
  return Answer(a, r);
}

int RunUpdateAvailable(const Args& a) {
  size_t given = a.user ? 4 : 5;
  if (a.rest.size() != given) {
    throw UsageError(
        "usage: qvn update-available [-U USER | CREDENTIALS|-] TABLE SEARCH_FIELD SEARCH_TEXT "
        "VERSION_FIELD");
  }
  size_t at = a.user ? 0 : 1;
  Wide host = FromUtf8(a.host), cred = Credentials(a, a.user ? std::nullopt : Arg(a, 0)),
       table = FromUtf8(a.rest[at]), search = FromUtf8(a.rest[at + 2]);
  int32_t field = IntNumber("SEARCH_FIELD", a.rest[at + 1]);
  int32_t version = IntNumber("VERSION_FIELD", a.rest[at + 3]);
  bool r = UpdateIsAvailable(QVN_TEXT(host), a.port, QVN_TEXT(cred), QVN_TEXT(table), field,
                             QVN_TEXT(search), version);
  // false is also the answer of a server that could not be reached.
  if (!r && !Reachable(a)) throw Unreachable("no answer from " + Where(a));
  std::puts(r ? "true" : "false");
  return 0;
}

int RunCodec(const Args& a, qvn_char* (*fn)(const qvn_char*), const char* synopsis) {
  Need(a, 1, synopsis);
  Wide text = TextArg(a.rest[0]);
  return PrintText(TakeResult(fn(QVN_TEXT(text))));
}
int RunPack(const Args& a) { return RunCodec(a, PackString, "pack TEXT|-"); }
int RunUnpack(const Args& a) { return RunCodec(a, UnPackString, "unpack TEXT|-"); }
int RunEncode(const Args& a) { return RunCodec(a, DataEncode, "encode TEXT|-"); }
int RunDecode(const Args& a) { return RunCodec(a, DataDecode, "decode TEXT|-"); }

int RunValueCount(const Args& a) {
  Need(a, 2, "value-count TEXT DELIMITER [--single]");
  Wide text = TextArg(a.rest[0]), delim = FromUtf8(a.rest[1]);
  std::printf("%d\n", ValueCount(QVN_TEXT(text), QVN_TEXT(delim), a.single));
  return 0;
}

int RunValue(const Args& a) {
  Need(a, 3, "value TEXT INDEX DELIMITER");
  Wide text = TextArg(a.rest[0]), delim = FromUtf8(a.rest[2]);
  int32_t index = IntNumber("INDEX", a.rest[1]);
  return PrintText(TakeResult(ValueFromString(QVN_TEXT(text), index, QVN_TEXT(delim))));
}

// Lists (or with --remove deletes) the temporary files that killed downloads
// left in the given folders. The library itself never deletes them: only the
// user knows that no download into the folder is still running.
int RunTempFiles(const Args& a) {
  std::vector<std::string> folders = a.rest;
  if (folders.empty()) folders.push_back(".");
  int status = 0;
  for (const std::string& folder : folders) {
    for (const TempFile& f : FindTempFiles(folder)) {
      if (!a.remove) {
        std::printf("%s\t%ju\n", f.path.c_str(), f.size);
      } else if (std::remove(f.path.c_str()) == 0) {
        std::printf("removed %s\n", f.path.c_str());
      } else {
        std::fprintf(stderr, "qvn: temp-files: cannot remove '%s': %s\n", f.path.c_str(),
                     std::strerror(errno));
        status = kRefused;
      }
    }
  }
  return status;
}

const Command kCommands[] = {
    {"script", "script [-U USER] [FILE|-] [--file-port N] [--timeout S] [--idle-timeout S]",
     "Runs a script (first line: dbpassword@user@password) and prints the answers.\n"
     "File sections (FILES [UPLOAD] ... }) run in the background over the file\n"
     "port with a progress bar per file; the command waits until every transfer\n"
     "has ended: at most --timeout seconds (600) in all and --idle-timeout\n"
     "seconds (120, 0 = no limit) without news. Exits 1 when a transfer did not\n"
     "complete or the answer is NONE / CONNECTION_ERROR. --file-port 0: no transfers.",
     RunScript, {"--file-port", "--timeout", "--idle-timeout", "--user"}},
    {"shell", "shell [-U USER]",
     "Interactive: asks for the credentials once (or takes -U USER and the\n"
     "password sources), then reads a script line by line and sends it on an\n"
     "empty line, printing the answers. History in ~/.qvn_history. Without a\n"
     "terminal the first line of standard input is the credentials line and\n"
     "empty lines separate the scripts.",
     RunShell, {"--file-port", "--timeout", "--idle-timeout", "--user"}},
    {"try-connect", "try-connect [--probe-ms N]",
     "Prints true when a connection to the port can be made within N ms (5000),\n"
     "else false and exits 1.",
     RunTryConnect, {"--probe-ms"}},
    {"db-name", "db-name", "Prints the database's name.", RunDbName, {}},
    {"check-password", "check-password [-U USER | CREDENTIALS|-]",
     "Asks the server to check a credentials line dbpassword@user@password\n"
     "(DENIED: exit 1).",
     RunCheckPassword, {"--user"}},
    {"change-password", "change-password USER | DB_PASSWORD USER PASSWORD NEW_PASSWORD",
     "Changes a user's password; the new one travels encrypted under both passwords.\n"
     "With USER alone the passwords come from $QVN_DB_PASSWORD, $QVN_PASSWORD and\n"
     "$QVN_NEW_PASSWORD or prompts.",
     RunChangePassword, {}},
    {"message", "message pipe TEXT | message file TEXT | message tcp HOST PORT TEXT",
     "Hands the server a message to pass on through a pipe, a file or a TCP\n"
     "connection to HOST:PORT.",
     RunMessage, {}},
    {"auth", "auth USER [PASSWORD|-]",
     "Authenticates a user without sending name or password; prints the server's\n"
     "decrypted answer. An empty answer means refused (exit 1).",
     RunAuth, {}},
    {"update-available",
     "update-available [-U USER | CREDENTIALS|-] TABLE SEARCH_FIELD SEARCH_TEXT VERSION_FIELD",
     "Prints true when the version stored in TABLE (record found by SEARCH_TEXT in\n"
     "SEARCH_FIELD, version in VERSION_FIELD) differs from this program's version.",
     RunUpdateAvailable, {"--user"}},
    {"pack", "pack TEXT|-", "Packs a text into one Base64 line of its compressed bytes.", RunPack, {}},
    {"unpack", "unpack TEXT|-", "Unpacks a packed text.", RunUnpack, {}},
    {"encode", "encode TEXT|-", "Escapes ; & , TAB CR LF { } as entities.", RunEncode, {}},
    {"decode", "decode TEXT|-", "Turns entities back into their characters.", RunDecode, {}},
    {"value-count", "value-count TEXT DELIMITER [--single]",
     "Prints the number of fields of TEXT split at DELIMITER; a text without the\n"
     "delimiter counts 1 with --single, else 0.",
     RunValueCount, {"--single"}},
    {"value", "value TEXT INDEX DELIMITER",
     "Prints field INDEX (from 0) of TEXT split at DELIMITER.", RunValue, {}},
    {"temp-files", "temp-files [FOLDER ...] [--remove]",
     "Lists the temporary files (.qvn-XXXXXXXX.part) that downloads killed before\n"
     "they finished left in each FOLDER (default: the current one), with their\n"
     "sizes; --remove deletes them. Run it when no download into them is running.",
     RunTempFiles, {"--remove"}},
};

void PrintGeneralHelp(FILE* out) {
  std::fputs(kGeneral, out);
  for (const Command& c : kCommands) std::fprintf(out, "  %s\n", c.synopsis);
}

// "qvn 1.0.0" and the library that was loaded, with its version.
int PrintVersion() {
  std::printf("qvn %s\n", QVN_CLI_VERSION);
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&Script), &info) != 0 && info.dli_fname != nullptr) {
    char resolved[4096];
    std::string path = ::realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
    size_t so = path.rfind(".so.");
    std::string version = so == std::string::npos ? "unknown" : path.substr(so + 4);
    std::printf("libqvn %s (%s)\n", version.c_str(), path.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Args a;
  try {
    a = Parse(argc, argv);
    if (a.version && a.command.empty()) return PrintVersion();
    if (a.command.empty() || a.command == "help") {
      PrintGeneralHelp(a.help || a.command == "help" ? stdout : stderr);
      return a.help || a.command == "help" ? 0 : kUsage;
    }
    for (const Command& c : kCommands) {
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
