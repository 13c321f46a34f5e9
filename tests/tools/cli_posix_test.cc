// The qvn command-line client against the stand-in server: answers, failure
// words and exit status, and the wait for a script's file transfers.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/errors.h"
#include "platform/socket.h"
#include "net/listener.h"
#include "support/answer_cases.h"
#include "support/cli_cases.h"
#include "support/server_process_posix.h"
#include "support/timeout_values.h"

namespace qvn::testing {
namespace {


#ifdef QVN_CLI_BINARY
constexpr const char* kCli = QVN_CLI_BINARY;
#else
constexpr const char* kCli = nullptr;
#endif

using Outcome = ProgramOutcome;

// Runs qvn with args in folder cwd, with env ("NAME=value") added to an
// environment free of the user's QVN_ settings.
Outcome RunCli(const std::vector<std::string>& args, const std::string& input = "",
               const std::string& cwd = ".", const std::vector<std::string>& env = {}) {
  std::vector<std::string> argv{kCli};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> clean{"QVN_PORT", "QVN_FILE_PORT", "QVN_HOST", "QVN_PASSWORD",
                                 "QVN_DB_PASSWORD", "QVN_NEW_PASSWORD", "QVN_USER",
                                 "QVN_CONNECT_TIMEOUT_MS", "QVN_IO_TIMEOUT_MS",
                                 "QVN_OPERATION_TIMEOUT_MS",
                                 "QVN_PASSFILE=/nonexistent/qvnpass"};  // none unless a case names one
  clean.insert(clean.end(), env.begin(), env.end());
  return RunProgram(argv, input, cwd, clean);
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kServer == nullptr || kCli == nullptr) {
      GTEST_SKIP() << "the tools are not built";
    }
    server_ = std::make_unique<ServerProcess>();
    port_ = std::to_string(server_->port());
    file_port_ = std::to_string(server_->file_port());
  }
  // --file-port only where it applies: other commands refuse it.
  Outcome Qvn(std::vector<std::string> args, const std::string& input = "",
              const std::string& cwd = ".", const std::vector<std::string>& env = {}) {
    if (std::find(args.begin(), args.end(), "script") != args.end() &&
        std::find(args.begin(), args.end(), "--file-port") == args.end()) {
      args.insert(args.begin(), {"--file-port", file_port_});
    }
    args.insert(args.begin(), {"--port", port_});
    return RunCli(args, input, cwd, env);
  }
  std::unique_ptr<ServerProcess> server_;
  std::string port_, file_port_;
};

// The one list of answer cases (tests/support/answer_cases.tsv), as exit
// statuses: 3 when the server could not be reached, 1 for a refusal or a file
// entry that did not complete, and, as psql does, for data in which a
// statement failed (DENIED, ERROR:); 0 with the answer on stdout otherwise.
TEST_F(CliTest, AnswersMeanWhatTheTableSays) {
  const std::string down = "1";  // nothing listens on port 1
  WriteFile(server_->dir() + "/up.bin", std::string(32000000, 'u'));
  for (const AnswerCase& c : LoadAnswerCases("dbpw", "alice", "secret")) {
    const auto& a = c.arguments;
    std::vector<std::string> args = c.server_up ? std::vector<std::string>{}
                                                : std::vector<std::string>{"-p", down};
    std::vector<std::string> env;
    std::string input;
    if (c.call == "ShowDbName") {
      args.push_back("db-name");
    } else if (c.call == "TryDbPassword") {
      args.insert(args.end(), {"check-password", a.at(0)});
    } else if (c.call == "ChangeUniquePass") {
      args.insert(args.end(), {"change-password", a.at(1)});
      env = {"QVN_DB_PASSWORD=" + a.at(0), "QVN_PASSWORD=" + a.at(2), "QVN_NEW_PASSWORD=" + a.at(3)};
    } else if (c.call == "UserAuthentication") {
      args.insert(args.end(), {"auth", a.at(0), a.at(1)});
    } else if (c.call == "Script" || c.call == "Upload") {
      args.insert(args.end(), {"script", "-"});
      input = c.call == "Script" ? a.at(0)
                                 : a.at(0) + "\r\nFILES [UPLOAD]\r\n{ up.bin,..\\cases\\up.bin }\r\n";
    }
    const Outcome o = Qvn(args, input, server_->dir(), env);
    const bool data = c.meaning.rfind("data:", 0) == 0;
    const bool failed_statement = c.meaning == "data:DENIED" || c.meaning == "data:ERROR:";
    const int status = c.meaning == "ConnectionFailed" || c.meaning == "NoAnswer" ? 3
                       : !data || failed_statement                                ? 1
                                                                                  : 0;
    EXPECT_EQ(o.status, status) << c.name << "\n" << o.err;
    if (data) {
      EXPECT_EQ(o.out.rfind(c.meaning.substr(5), 0), 0u) << c.name << ": " << o.out;
    }
  }
}

// The cases both platforms share (tests/support/cli_cases.tsv): exit status
// 0 success, 1 refused / NONE / a file entry that did not complete, 2 usage,
// 3 no server (with its cause, in one line); passwords from the command
// line, the environment, standard input or the password file; psql's -c, -f
// and QVN_USER; the shell's own words; an upload and a download.
TEST_F(CliTest, SharedCasesHold) {
  uint16_t closed;
  {
    qvn::net::Listener l("127.0.0.1", 0);
    closed = l.port();
  }
  // Takes connections (the listen queue does) and never answers.
  qvn::net::Listener silent("127.0.0.1", 0);
  const std::map<std::string, std::string> values{
      {"port", port_}, {"file_port", file_port_}, {"down", std::to_string(closed)},
      {"mute", std::to_string(silent.port())}, {"db", "dbpw"}, {"user", "alice"},
      {"pw", "secret"}, {"dbname", "E2E Base"}};
  const std::string work = server_->dir() + "/cases";
  ASSERT_EQ(::mkdir(work.c_str(), 0700), 0);
  WriteFile(work + "/qvnpass", CliCasePassFile(values));
  ASSERT_EQ(::chmod((work + "/qvnpass").c_str(), 0600), 0);
  WriteFile(work + "/payload.bin", RandomBytes(700000, 3));
  const std::vector<CliCase> cases = LoadCliCases(values);
  ASSERT_FALSE(cases.empty());
  for (const CliCase& c : cases) {
    const Outcome o = RunCli(c.args, c.input, work, c.env);
    EXPECT_EQ(o.status, c.status) << c.name << "\n" << o.out << o.err;
    EXPECT_EQ(CliCaseMismatch(c, o.out, o.err), "") << c.name << "\n" << o.out << o.err;
    if (c.status == 3) {
      EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << c.name;
    }
    if (c.same.size() == 2) {
      EXPECT_EQ(ReadFile(work + "/" + c.same[1]), ReadFile(work + "/" + c.same[0])) << c.name;
    }
  }
  EXPECT_EQ(ReadFile(server_->data() + "/messages/messages.txt"), "from stdin \xC3\xA9\r\n");
}

// What only Linux says or has: a password file others may read, the
// system's own words for a failure, /dev/zero, and a connect that waits.
TEST_F(CliTest, LinuxOnlyCases) {
  uint16_t closed;
  {
    qvn::net::Listener l("127.0.0.1", 0);
    closed = l.port();
  }
  const std::string down = std::to_string(closed);
  const std::string open_passfile = server_->dir() + "/qvnpass-open";
  WriteFile(open_passfile, "127.0.0.1:*::dbpw\n*:" + port_ + ":alice:secret\n");
  ASSERT_EQ(::chmod(open_passfile.c_str(), 0644), 0);
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> env;
    int status;
    std::string err;  // a part of stderr
  } cases[] = {
      {{"--port", port_, "check-password", "-U", "alice"}, {"QVN_PASSFILE=" + open_passfile}, 2,
       "group or world access"},
      {{"--port", port_, "script", "/dev/zero"}, {}, 1, "64 MiB"},
      {{"-f", "/nonexistent.qvs"}, {}, 1, "cannot read /nonexistent.qvs: No such file or directory"},
      {{"-p", down, "db-name"}, {}, 3, "CONNECTION_ERROR: no answer from 127.0.0.1:" + down +
       ": cannot connect: Connection refused"},
      {{"-h", "127.0.0.1", "-p", down, "update-available", "dbpw@alice@secret", "T", "0", "x", "1"},
       {}, 3, "Connection refused"},
  };
  for (const Case& c : cases) {
    Outcome o = RunCli(c.args, "", ".", c.env);
    EXPECT_EQ(o.status, c.status) << c.args.back() << "\n" << o.err;
    EXPECT_NE(o.err.find(c.err), std::string::npos) << c.args.back() << ": " << o.err;
  }


  // A listener whose accept queue is full: a connect to it waits until a
  // bound ends it, and --connect-timeout is that bound.
  qvn::net::Listener full("127.0.0.1", 0, 0);
  std::vector<qvn::platform::Connection> queued;
  bool filled = false;
  qvn::platform::SetHostTimeoutsForTesting(qvn::platform::SocketTimeouts{200, 0});
  for (int i = 0; i < 64 && !filled; ++i) {
    try {
      queued.push_back(qvn::platform::Connection::Open(u"127.0.0.1", full.port()));
    } catch (const qvn::TimeoutError&) {
      filled = true;
    }
  }
  qvn::platform::SetHostTimeoutsForTesting(std::nullopt);
  if (filled) {
    Outcome o = RunCli({"-p", std::to_string(full.port()), "--connect-timeout", "200", "db-name"});
    EXPECT_EQ(o.status, 3);
    EXPECT_NE(o.err.find("timed out"), std::string::npos) << o.err;
  }
}

// On a terminal: a refused password asked again, the line editor, history
// recalled with Up and kept in a private ~/.qvn_history, help and \q.
TEST_F(CliTest, ShellOnATerminalKeepsHistory) {
  std::string home = server_->dir();
  int master = -1;
  pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("QVN_DB_PASSWORD", "dbpw", 1);
    ::setenv("QVN_PASSWORD", "wrong", 1);
    ::setenv("QVN_PASSFILE", "/nonexistent/qvnpass", 1);
    ::execl(kCli, kCli, "--port", port_.c_str(), "shell", "-U", "alice", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::string out;
  // Reads the terminal while `more` holds, for at most 20 seconds.
  auto read_while = [&](const std::function<bool()>& more) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (more() && std::chrono::steady_clock::now() < deadline) {
      pollfd p{master, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buf[1024];
      ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, static_cast<size_t>(n));
    }
  };
  auto count = [&](const std::string& want) {
    int n = 0;
    for (size_t at = out.find(want); at != std::string::npos; at = out.find(want, at + 1)) ++n;
    return n;
  };
  auto read_until = [&](const std::string& want, int times) {
    read_while([&] { return count(want) < times; });
  };
  // Keys go only to a waiting prompt: the editor is in raw mode only while it
  // reads a line, and a prompt is the last thing it writes before reading.
  auto type_at = [&](const std::string& prompt, const std::string& keys) {
    read_while([&] { return !out.ends_with(prompt); });
    (void)!::write(master, keys.data(), keys.size());
  };
  type_at("Database password: ", "dbpw\r");
  type_at("Password for alice: ", "secret\r");
  type_at("qvn> ", "cout Notes\x1b[D\x1b[D\x1b[D\x1b[D\x1b[D\x1b[D\x1b[Dn\r");  // "n" inserted by the cursor keys
  type_at("...> ", "\r");
  read_until("\n0\r\n", 1);
  type_at("qvn> ", "\x1b[A\r");  // the same line again from the history
  type_at("...> ", "\r");
  read_until("\n0\r\n", 2);
  type_at("qvn> ", "help\r");
  read_until("\\q, quit, exit", 1);
  type_at("qvn> ", "\\q\r");
  int status = 0;
  for (int i = 0; i < 200 && ::waitpid(pid, &status, WNOHANG) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (::kill(pid, 0) == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  ::close(master);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
  EXPECT_EQ(count("\n0\r\n"), 2) << out;
  EXPECT_EQ(count("refused the credentials (DENIED); try again"), 1) << out;
  EXPECT_EQ(count("\\q, quit, exit"), 1) << out;
  EXPECT_EQ(ReadFile(home + "/.qvn_history"), "count Notes\nhelp\n\\q\n");
  struct stat st{};
  ASSERT_EQ(::stat((home + "/.qvn_history").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// Every value of the shared table, each time in one of the three variables:
// qvn refuses what the library would read as no limit, before any work.
TEST(CliTimeoutValuesTest, MalformedValuesAreRefused) {
  if (kCli == nullptr) GTEST_SKIP() << "the tools are not built";
  const char* const variables[] = {"QVN_CONNECT_TIMEOUT_MS", "QVN_IO_TIMEOUT_MS",
                                   "QVN_OPERATION_TIMEOUT_MS"};
  size_t turn = 0;
  for (const TimeoutValue& v : LoadTimeoutValues()) {
    const std::string variable = variables[turn++ % 3];
    SCOPED_TRACE(variable + "=\"" + v.value + "\"");
    const Outcome o = RunCli({"value", "a@b", "1", "@"}, "", ".", {variable + "=" + v.value});
    EXPECT_EQ(o.status, v.ms ? 0 : 2) << o.err;
    EXPECT_EQ(o.err.find(variable) != std::string::npos, !v.ms) << o.err;
  }
}

TEST_F(CliTest, CodecsAndUsage) {
  EXPECT_EQ(RunCli({"value", "  a@b@c ", "1", "@"}).out, "b\n");
  EXPECT_EQ(RunCli({"value-count", "abc", ";"}).out, "0\n");
  EXPECT_EQ(RunCli({"value-count", "abc", ";", "--single"}).out, "1\n");
  EXPECT_EQ(RunCli({"encode", "a;b"}).out, "a&amp;#59;b\n");
  EXPECT_EQ(RunCli({"decode", "-"}, "&#123;x&#125;").out, "{x}\n");
  Outcome packed = RunCli({"pack", "hello"});
  ASSERT_EQ(packed.status, 0);
  packed.out.pop_back();
  EXPECT_EQ(RunCli({"unpack", packed.out}).out, "hello\n");

  EXPECT_EQ(RunCli({"--help"}).status, 0);
  EXPECT_EQ(RunCli({"-?"}).status, 0);
  EXPECT_NE(RunCli({"--version"}).out.find("\nlibqvn 1."), std::string::npos);
  EXPECT_EQ(RunCli({"-V"}).out.rfind("qvn ", 0), 0u);
  Outcome help = RunCli({"script", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--timeout"), std::string::npos);
  EXPECT_EQ(RunCli({"frobnicate"}).status, 2);
  EXPECT_EQ(RunCli({"value", "x"}).status, 2);
  EXPECT_EQ(RunCli({"--port", "70000", "db-name"}).status, 2);
}

TEST_F(CliTest, TempFilesListedAndRemovedOnlyOnRequest) {
  std::string dir = server_->dir() + "/leftovers";
  ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
  WriteFile(dir + "/.qvn-0123abcd.part", "12345");
  // Near misses of the pattern, a link and a folder with the name: all kept.
  for (const char* name : {".qvn-0123ABCD.part", ".qvn-0123abc.part", "qvn-0123abcd.part",
                           ".qvn-0123abcd.part~", "keep.bin"}) {
    WriteFile(dir + "/" + name, "x");
  }
  ASSERT_EQ(::symlink("keep.bin", (dir + "/.qvn-deadbeef.part").c_str()), 0);
  ASSERT_EQ(::mkdir((dir + "/.qvn-00000000.part").c_str(), 0700), 0);

  Outcome list = RunCli({"temp-files", dir});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out, dir + "/.qvn-0123abcd.part\t5\n");
  EXPECT_TRUE(Exists(dir + "/.qvn-0123abcd.part"));

  Outcome removed = RunCli({"temp-files", "--remove", dir});
  EXPECT_EQ(removed.out, "removed " + dir + "/.qvn-0123abcd.part\n");
  EXPECT_FALSE(Exists(dir + "/.qvn-0123abcd.part"));
  EXPECT_TRUE(Exists(dir + "/.qvn-0123ABCD.part") && Exists(dir + "/.qvn-deadbeef.part"));
  EXPECT_EQ(RunCli({"temp-files", dir}).out, "");
  EXPECT_EQ(RunCli({"temp-files", dir + "/missing"}).status, 1);
  EXPECT_EQ(RunCli({"db-name", "--remove"}).status, 2);
}

// What output does to a terminal `columns` wide: the rows it moves down
// (line feeds and wraps) and the most columns any row took. Escape sequences
// take none; every UTF-8 character takes one.
struct Screen {
  int rows = 0, widest = 0;
};
Screen OnScreen(const std::string& out, int columns) {
  Screen s;
  int column = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    const auto c = static_cast<unsigned char>(out[i]);
    if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      ++s.rows;
      column = 0;
    } else if (c == 0x1b && i + 1 < out.size() && out[i + 1] == '[') {
      for (i += 2; i < out.size() && (out[i] < 0x40 || out[i] > 0x7e); ++i) {
      }
    } else if ((c & 0xC0) != 0x80 && c >= ' ') {
      if (column == columns) {  // the terminal wraps before the next character
        ++s.rows;
        column = 0;
      }
      s.widest = std::max(s.widest, ++column);
    }
  }
  return s;
}

// On a terminal the bar is redrawn in place: as wide as the terminal says
// (or COLUMNS, where the terminal gives no width) less one column, so no
// redraw wraps and adds a line.
TEST_F(CliTest, ProgressBarRedrawsInPlace) {
  const std::string work = server_->dir();
  WriteFile(work + "/payload.bin", RandomBytes(8 << 20, 5));
  struct Case {
    unsigned short terminal_columns;  // 0: the terminal does not say
    const char* columns_variable;
    int width;
  } cases[] = {{80, nullptr, 80}, {0, "50", 50}};
  for (const Case& c : cases) {
    const std::string script = "dbpw@alice@secret\nFILES [UPLOAD]\n{ payload.bin,..\\p.bin }\n";
    const std::string script_file = work + "/upload.qvs";
    WriteFile(script_file, script);
    winsize size{};
    size.ws_row = 24;
    size.ws_col = c.terminal_columns;
    int master = -1;
    pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (::chdir(work.c_str()) != 0) ::_exit(126);
      ::unsetenv("COLUMNS");
      if (c.columns_variable != nullptr) ::setenv("COLUMNS", c.columns_variable, 1);
      ::execl(kCli, kCli, "--port", port_.c_str(), "--file-port", file_port_.c_str(), "script",
              script_file.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{master, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buf[4096];
      ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;  // EIO once the program has ended
      out.append(buf, static_cast<size_t>(n));
    }
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == 0) ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    ::close(master);
    const std::string what = std::to_string(c.width) + " columns:\n" + out;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << what;
    size_t redraws = 0;
    for (size_t at = out.find("\r\033[Kupload   ["); at != std::string::npos;
         at = out.find("\r\033[Kupload   [", at + 1)) {
      ++redraws;
    }
    EXPECT_GE(redraws, 2u) << what;
    EXPECT_NE(out.find("upload   payload.bin -> ..\\p.bin  8.0 MiB  done\r\n"), std::string::npos)
        << what;
    // Only the answers' and the finished file's lines move down a row.
    const Screen screen = OnScreen(out, c.width);
    EXPECT_EQ(screen.rows, std::count(out.begin(), out.end(), '\n')) << what;
    EXPECT_LE(screen.rows, 4) << what;
    EXPECT_LE(screen.widest, c.width - 1) << what;
  }
}

// stdout carries the answers only; progress and every entry that did not
// complete go to stderr, one line each, and make the exit status 1.
TEST_F(CliTest, ScriptReportsEveryFileEntry) {
  std::string work = server_->dir();
  WriteFile(work + "/big.bin", RandomBytes(700000, 3));
  WriteFile(work + "/empty.bin", "");
  std::string script =
      "dbpw@alice@secret\n"
      "put Notes[0,+]=hello\n"
      "FILES [UPLOAD]\n"
      "{ big.bin ,..\\ in\\big.bin\n"
      "empty.bin,..\\in\\empty.bin\n"
      "missing.bin,..\\in\\missing.bin\n"
      "a.bin,../up/a.bin }\n"
      // Upper-cased with the full table, dotless i included: a header too.
      "f\xC4\xB1les [download]\n"
      "{ copy.bin ,..\\in\\big.bin\n"
      "got.bin ,..\\nowhere.bin }\n";
  auto start = std::chrono::steady_clock::now();
  Outcome o = Qvn({"script", "-"}, script, work);
  EXPECT_EQ(o.status, 1) << o.out << o.err;
  // The end of the library's transfer thread ends the wait, not the idle limit (120 s).
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(o.out.substr(0, 24), "File transfer started : ") << o.out;
  EXPECT_NE(o.out.find("OK 1"), std::string::npos);
  EXPECT_EQ(o.out.find("done"), std::string::npos) << o.out;
  // Not a terminal: one line per finished file; one line per entry that did not complete.
  for (const char* line : {"upload   big.bin -> ..\\in\\big.bin  683.6 KiB  done\n",
                           "upload   empty.bin -> ..\\in\\empty.bin  done\n",
                           "download ..\\in\\big.bin -> copy.bin  683.6 KiB  done\n",
                           "qvn: upload missing.bin -> ..\\in\\missing.bin: skipped",
                           "qvn: warning: file entry 'a.bin,../up/a.bin' has no server name",
                           "qvn: upload a.bin,../up/a.bin -> ..\\: skipped",
                           "qvn: download ..\\nowhere.bin -> got.bin: failed"}) {
    EXPECT_NE(o.err.find(line), std::string::npos) << line << "\n" << o.err;
  }
  EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 7) << o.err;
  EXPECT_EQ(ReadFile(work + "/copy.bin"), ReadFile(work + "/big.bin"));
  EXPECT_TRUE(Exists(server_->data() + "/files/in/empty.bin"));

  // -q: no progress, and nothing else to say when every entry completes.
  Outcome quiet = Qvn({"-q", "script", "-"},
                      "dbpw@alice@secret\nFILES [UPLOAD]\n{ big.bin,..\\in\\again.bin }\n", work);
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.err, "");
}

}  // namespace
}  // namespace qvn::testing
