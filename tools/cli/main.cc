// qvn: the command-line client of the Quarven database server, built on the
// library's public interface.
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
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "conversation/answer_words.h"
#include "progress.h"
#include "qvn.h"
#include "sections.h"
#include "wide.h"

namespace {

using namespace qvn_cli;

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

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
  bool help = false;
};

struct Command {
  const char* name;
  const char* synopsis;
  const char* help;
  int (*run)(const Args&);
};

const char kGeneral[] =
    "usage: qvn [--host HOST] [--port N] [--file-port N] COMMAND [ARGUMENTS]\n"
    "\n"
    "Talks to a Quarven database server through the qvn library.\n"
    "Defaults: --host 127.0.0.1 (or $QVN_HOST), --port 7711 ($QVN_PORT),\n"
    "--file-port 7712 ($QVN_FILE_PORT). A TEXT argument of '-' is read from\n"
    "standard input. Texts are UTF-8. 'qvn COMMAND --help' explains a command.\n"
    "\n"
    "Exit status: 0 success; 1 the server could not be reached or answered\n"
    "nothing (CONNECTION_ERROR, NONE), or a file transfer did not complete;\n"
    "2 wrong usage.\n"
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
    if (flags && s == "--") {
      flags = false;
    } else if (flags && (s == "--help" || s == "-h")) {
      a.help = true;
    } else if (flags && is("--host")) {
      a.host = value("--host");
    } else if (flags && is("--port")) {
      a.port = PortNumber("--port", value("--port"));
    } else if (flags && is("--file-port")) {
      a.file_port = PortNumber("--file-port", value("--file-port"));
    } else if (flags && is("--timeout")) {
      a.timeout_s = IntNumber("--timeout", value("--timeout"));
    } else if (flags && is("--idle-timeout")) {
      a.idle_s = IntNumber("--idle-timeout", value("--idle-timeout"));
    } else if (flags && is("--probe-ms")) {
      a.probe_ms = IntNumber("--probe-ms", value("--probe-ms"));
    } else if (flags && s == "--single") {
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

// Prints a server answer; the library's failure words end the command.
int Answer(const Args& a, const Wide& answer) {
  if (answer == qvn::kConnectionError || answer == qvn::kNoneAnswer) {
    throw Failure(ToUtf8(answer) + " (no answer from " + Where(a) + ")");
  }
  std::string out = ForTerminal(answer);
  std::fputs(out.c_str(), stdout);
  std::fputs("\n", stdout);
  return 0;
}

int PrintText(const Wide& text) {
  std::string out = ForTerminal(text);
  std::fputs(out.c_str(), stdout);
  std::fputs("\n", stdout);
  return 0;
}

// --- commands --------------------------------------------------------------

qvn_cli::ProgressBoard* g_board = nullptr;

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
  bool failed_word = answer == qvn::kNoneAnswer;
  for (size_t start = 0; start <= answer.size();) {
    size_t end = answer.find_first_of(u"\r\n", start);
    if (end == Wide::npos) end = answer.size();
    if (answer.substr(start, end - start) == qvn::kConnectionError) failed_word = true;
    start = end + 1;
  }
  int status = 0;
  if (transfers > 0 && !board->Wait(a.timeout_s, a.idle_s)) {
    for (const std::string& m : board->Missing()) std::fprintf(stderr, "qvn: script: %s\n", m.c_str());
    status = 1;
  }
  if (failed_word) {
    std::fprintf(stderr, "qvn: script: %s (from %s)\n",
                 ToUtf8(answer == qvn::kNoneAnswer ? qvn::kNoneAnswer : qvn::kConnectionError).c_str(), Where(a).c_str());
    status = 1;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  // The library's transfer thread may still be closing its last connection
  // (or running a transfer that never reported): leave without tearing down
  // what it may still use.
  std::_Exit(status);
}

int RunTryConnect(const Args& a) {
  Need(a, 0, "try-connect [--probe-ms N]");
  Wide host = FromUtf8(a.host);
  bool ok = TryConnect(reinterpret_cast<const qvn_char*>(host.c_str()), a.port, a.probe_ms);
  std::puts(ok ? "true" : "false");
  return ok ? 0 : 1;
}

#define QVN_TEXT(w) reinterpret_cast<const qvn_char*>((w).c_str())

int RunDbName(const Args& a) {
  Need(a, 0, "db-name");
  Wide host = FromUtf8(a.host);
  return Answer(a, TakeResult(ShowDbName(QVN_TEXT(host), a.port)));
}

int RunCheckPassword(const Args& a) {
  Need(a, 1, "check-password CREDENTIALS");
  Wide host = FromUtf8(a.host), cred = TextArg(a.rest[0]);
  return Answer(a, TakeResult(TryDbPassword(QVN_TEXT(host), a.port, QVN_TEXT(cred))));
}

int RunChangePassword(const Args& a) {
  Need(a, 4, "change-password DB_PASSWORD USER PASSWORD NEW_PASSWORD");
  Wide host = FromUtf8(a.host), db = FromUtf8(a.rest[0]), user = FromUtf8(a.rest[1]),
       pw = FromUtf8(a.rest[2]), fresh = FromUtf8(a.rest[3]);
  return Answer(a, TakeResult(ChangeUniquePass(QVN_TEXT(host), a.port, QVN_TEXT(db), QVN_TEXT(user),
                                               QVN_TEXT(pw), QVN_TEXT(fresh))));
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
  Need(a, 2, "auth USER PASSWORD");
  Wide host = FromUtf8(a.host), user = FromUtf8(a.rest[0]), pw = FromUtf8(a.rest[1]);
  Wide r = TakeResult(UserAuthentication(QVN_TEXT(host), a.port, QVN_TEXT(user), QVN_TEXT(pw)));
  if (r.empty()) throw Failure("authentication refused (empty answer from " + Where(a) + ")");
  return Answer(a, r);
}

int RunUpdateAvailable(const Args& a) {
  Need(a, 5, "update-available CREDENTIALS TABLE SEARCH_FIELD SEARCH_TEXT VERSION_FIELD");
  Wide host = FromUtf8(a.host), cred = FromUtf8(a.rest[0]), table = FromUtf8(a.rest[1]),
       search = FromUtf8(a.rest[3]);
  int32_t field = IntNumber("SEARCH_FIELD", a.rest[2]);
  int32_t version = IntNumber("VERSION_FIELD", a.rest[4]);
  bool r = UpdateIsAvailable(QVN_TEXT(host), a.port, QVN_TEXT(cred), QVN_TEXT(table), field,
                             QVN_TEXT(search), version);
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

const Command kCommands[] = {
    {"script", "script [FILE|-] [--file-port N] [--timeout S] [--idle-timeout S]",
     "Runs a script (first line: dbpassword@user@password) and prints the answers.\n"
     "File sections (FILES [UPLOAD] ... }) run in the background over the file\n"
     "port with a progress bar per file; the command waits until every transfer\n"
     "has ended: at most --timeout seconds (600) in all and --idle-timeout\n"
     "seconds (120, 0 = no limit) without news. Exits 1 when a transfer did not\n"
     "complete or the answer is NONE / CONNECTION_ERROR. --file-port 0: no transfers.",
     RunScript},
    {"try-connect", "try-connect [--probe-ms N]",
     "Prints true when a connection to the port can be made within N ms (5000),\n"
     "else false and exits 1.",
     RunTryConnect},
    {"db-name", "db-name", "Prints the database's name.", RunDbName},
    {"check-password", "check-password CREDENTIALS",
     "Asks the server to check a credentials line dbpassword@user@password.", RunCheckPassword},
    {"change-password", "change-password DB_PASSWORD USER PASSWORD NEW_PASSWORD",
     "Changes a user's password; the new one travels encrypted under both passwords.",
     RunChangePassword},
    {"message", "message pipe TEXT | message file TEXT | message tcp HOST PORT TEXT",
     "Hands the server a message to pass on through a pipe, a file or a TCP\n"
     "connection to HOST:PORT.",
     RunMessage},
    {"auth", "auth USER PASSWORD",
     "Authenticates a user without sending name or password; prints the server's\n"
     "decrypted answer. An empty answer means refused (exit 1).",
     RunAuth},
    {"update-available", "update-available CREDENTIALS TABLE SEARCH_FIELD SEARCH_TEXT VERSION_FIELD",
     "Prints true when the version stored in TABLE (record found by SEARCH_TEXT in\n"
     "SEARCH_FIELD, version in VERSION_FIELD) differs from this program's version.",
     RunUpdateAvailable},
    {"pack", "pack TEXT|-", "Packs a text into one Base64 line of its compressed bytes.", RunPack},
    {"unpack", "unpack TEXT|-", "Unpacks a packed text.", RunUnpack},
    {"encode", "encode TEXT|-", "Escapes ; & , TAB CR LF { } as entities.", RunEncode},
    {"decode", "decode TEXT|-", "Turns entities back into their characters.", RunDecode},
    {"value-count", "value-count TEXT DELIMITER [--single]",
     "Prints the number of fields of TEXT split at DELIMITER; a text without the\n"
     "delimiter counts 1 with --single, else 0.",
     RunValueCount},
    {"value", "value TEXT INDEX DELIMITER",
     "Prints field INDEX (from 0) of TEXT split at DELIMITER.", RunValue},
};

void PrintGeneralHelp(FILE* out) {
  std::fputs(kGeneral, out);
  for (const Command& c : kCommands) std::fprintf(out, "  %s\n", c.synopsis);
}

}  // namespace

int main(int argc, char** argv) {
  Args a;
  try {
    a = Parse(argc, argv);
    if (a.command.empty() || a.command == "help") {
      PrintGeneralHelp(a.help || a.command == "help" ? stdout : stderr);
      return a.help || a.command == "help" ? 0 : 2;
    }
    for (const Command& c : kCommands) {
      if (a.command != c.name) continue;
      if (a.help) {
        std::printf("usage: qvn [--host HOST] [--port N] %s\n\n%s\n", c.synopsis, c.help);
        return 0;
      }
      return c.run(a);
    }
    throw UsageError("unknown command '" + a.command + "' (qvn --help lists them)");
  } catch (const UsageError& e) {
    std::fprintf(stderr, "qvn: %s\n", e.what());
    return 2;
  } catch (const Failure& e) {
    std::fprintf(stderr, "qvn: %s: %s\n", a.command.c_str(), e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qvn: %s: %s\n", a.command.c_str(), e.what());
    return 1;
  }
}
