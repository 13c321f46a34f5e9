// The qvn command-line client against the stand-in server: answers, failure
// words and exit status, and the wait for a script's file transfers.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/socket.h"
#include "support/server_process_posix.h"

namespace {

using namespace qvn::testing;

#ifdef QVN_CLI_BINARY
constexpr const char* kCli = QVN_CLI_BINARY;
#else
constexpr const char* kCli = nullptr;
#endif

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Runs qvn with args in folder cwd, feeding input on stdin; killed after 60 s.
Outcome RunCli(const std::vector<std::string>& args, const std::string& input = "",
               const std::string& cwd = ".") {
  int in[2], out[2], err[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) return {};
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    std::vector<char*> argv{const_cast<char*>(kCli)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::unsetenv("QVN_PORT");
    ::unsetenv("QVN_FILE_PORT");
    ::unsetenv("QVN_HOST");
    ::execv(kCli, argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  if (!input.empty()) (void)!::write(in[1], input.data(), input.size());
  ::close(in[1]);
  Outcome o;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  pollfd p[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open = 2;
  while (open > 0 && std::chrono::steady_clock::now() < deadline) {
    if (::poll(p, 2, 200) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (p[i].fd < 0 || !(p[i].revents & (POLLIN | POLLHUP))) continue;
      char buf[4096];
      ssize_t n = ::read(p[i].fd, buf, sizeof buf);
      if (n <= 0) {
        ::close(p[i].fd);
        p[i].fd = -1;
        --open;
      } else {
        (i == 0 ? o.out : o.err).append(buf, static_cast<size_t>(n));
      }
    }
  }
  if (open > 0) ::kill(pid, SIGKILL);
  for (pollfd& q : p) {
    if (q.fd >= 0) ::close(q.fd);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return o;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kServer == nullptr || kCli == nullptr) {
      GTEST_SKIP() << "the tools are not built";
    }
    server_ = std::make_unique<ServerProcess>();
    ports_ = {"--port", std::to_string(server_->port()), "--file-port",
              std::to_string(server_->file_port())};
  }
  Outcome Qvn(std::vector<std::string> args, const std::string& input = "",
              const std::string& cwd = ".") {
    args.insert(args.begin(), ports_.begin(), ports_.end());
    return RunCli(args, input, cwd);
  }
  std::unique_ptr<ServerProcess> server_;
  std::vector<std::string> ports_;
};

TEST_F(CliTest, PrintsAnswersAndFailsOnTheFailureWords) {
  Outcome o = Qvn({"db-name"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, "E2E Base\n");
  EXPECT_EQ(Qvn({"check-password", "dbpw@alice@secret"}).out, "OK\n");
  EXPECT_EQ(Qvn({"auth", "alice", "secret"}).out, "OK alice\n");
  Outcome refused = Qvn({"auth", "alice", "nope"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("refused"), std::string::npos);
  EXPECT_EQ(Qvn({"message", "file", "-"}, "from stdin \xC3\xA9").out, "OK\n");
  EXPECT_EQ(ReadFile(server_->data() + "/messages/messages.txt"), "from stdin \xC3\xA9\r\n");
  EXPECT_EQ(Qvn({"try-connect"}).out, "true\n");

  // A port where nobody listens: one line on stderr, exit status 1.
  uint16_t closed;
  {
    qvn::platform::Listener l("127.0.0.1", 0);
    closed = l.port();
  }
  Outcome down = RunCli({"--port", std::to_string(closed), "db-name"});
  EXPECT_EQ(down.status, 1);
  EXPECT_EQ(down.out, "");
  EXPECT_NE(down.err.find("CONNECTION_ERROR"), std::string::npos);
  EXPECT_EQ(std::count(down.err.begin(), down.err.end(), '\n'), 1);
  EXPECT_EQ(RunCli({"--port", std::to_string(closed), "try-connect"}).status, 1);
  EXPECT_EQ(RunCli({"--port", std::to_string(closed), "script", "-"}, "dbpw\nlist\n").status, 1);
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
  Outcome help = RunCli({"script", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--timeout"), std::string::npos);
  EXPECT_EQ(RunCli({"frobnicate"}).status, 2);
  EXPECT_EQ(RunCli({"value", "x"}).status, 2);
  EXPECT_EQ(RunCli({"--port", "70000", "db-name"}).status, 2);
}

TEST_F(CliTest, ScriptWaitsForEveryTransfer) {
  std::string work = server_->dir();
  WriteFile(work + "/big.bin", RandomBytes(700000, 3));
  WriteFile(work + "/empty.bin", "");
  std::string script =
      "dbpw@alice@secret\n"
      "put Notes[0,+]=hello\n"
      "FILES [UPLOAD]\n"
      "{ big.bin ,..\\ in\\big.bin\n"
      "empty.bin,..\\in\\empty.bin\n"
      "missing.bin,..\\in\\missing.bin }\n"
      // Upper-cased with the full table, dotless i included: a header too.
      "f\xC4\xB1les [download]\n"
      "{ copy.bin ,..\\in\\big.bin }\n";
  Outcome o = Qvn({"script", "-"}, script, work);
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_NE(o.out.find("File transfer started : "), std::string::npos);
  EXPECT_NE(o.out.find("OK 1"), std::string::npos);
  // Not a terminal: plain progress lines, one "done" per transfer that reports.
  EXPECT_NE(o.out.find("upload   big.bin -> ..\\in\\big.bin  100.00%"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("download ..\\in\\big.bin -> copy.bin  100.00%"), std::string::npos) << o.out;
  size_t done = 0;
  for (size_t at = o.out.find("  done"); at != std::string::npos; at = o.out.find("  done", at + 1)) ++done;
  EXPECT_EQ(done, 2u);
  EXPECT_EQ(ReadFile(work + "/copy.bin"), ReadFile(work + "/big.bin"));
  EXPECT_TRUE(Exists(server_->data() + "/files/in/empty.bin"));
}

TEST_F(CliTest, ScriptFailsWhenATransferDoesNotComplete) {
  std::string work = server_->dir();
  WriteFile(work + "/a.bin", RandomBytes(1000, 4));
  std::string script =
      "dbpw@alice@secret\n"
      "FILES [DOWNLOAD]\n"
      "{ got.bin ,..\\nowhere.bin\n"
      "also.bin ,..\\..\\credentials }\n";
  auto start = std::chrono::steady_clock::now();
  Outcome o = Qvn({"script", "-", "--idle-timeout", "2"}, script, work);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("download of ..\\nowhere.bin did not complete"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("download of ..\\..\\credentials did not complete"), std::string::npos);
  EXPECT_LT(took, std::chrono::seconds(30));  // the idle limit ended the wait, not the 600 s one
}

}  // namespace
