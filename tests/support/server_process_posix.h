// Runs programs for end-to-end tests (Linux only), among them the stand-in
// qvn-server: fresh data folder, free loopback ports, stopped and removed at
// the end.
#ifndef QVN_TESTS_SUPPORT_SERVER_PROCESS_POSIX_H_
#define QVN_TESTS_SUPPORT_SERVER_PROCESS_POSIX_H_

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "qvn.h"
#include "support/temp_file.h"

namespace qvn::testing {

#ifdef QVN_SERVER_BINARY
inline constexpr const char* kServer = QVN_SERVER_BINARY;
#else
inline constexpr const char* kServer = nullptr;
#endif

inline Text Take(qvn_char* result) {
  Text out = result == nullptr ? Text() : Text(result);
  ScriptFree(result);
  return out;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

inline bool Exists(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0;
}

inline std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

// Script lines that begin with "/" are comments, so absolute client paths are
// written relative to the working folder.
inline Text Rel(const std::string& absolute) {
  char cwd[4096];
  std::string up;
  if (::getcwd(cwd, sizeof cwd) != nullptr) {
    for (const char* p = cwd; *p != 0; ++p) {
      if (*p == '/' && p[1] != 0) up += "../";
    }
  }
  return qvn::Utf8ToText(up + absolute.substr(1));
}

struct ProgramOutcome {
  int status = -1;  // the exit status; -1 when killed or not started
  std::string out, err;
};

// Runs args[0] with the arguments after it in folder cwd, feeding input on
// stdin and gathering stdout and stderr; env entries "NAME=value" are set,
// a bare "NAME" is removed. Killed after 60 s.
inline ProgramOutcome RunProgram(const std::vector<std::string>& args, const std::string& input = "",
                                 const std::string& cwd = ".",
                                 const std::vector<std::string>& env = {}) {
  int in[2], out[2], err[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) return {};
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : env) {
      size_t eq = e.find('=');
      if (eq == std::string::npos) {
        ::unsetenv(e.c_str());
      } else {
        ::setenv(e.substr(0, eq).c_str(), e.c_str() + eq + 1, 1);
      }
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  if (!input.empty()) (void)!::write(in[1], input.data(), input.size());
  ::close(in[1]);
  ProgramOutcome o;
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

// A qvn-server on free loopback ports with a fresh data folder, stopped and
// removed at the end.
class ServerProcess {
 public:
  ServerProcess() {
    data_ = dir_ + "/data";
    int rc = RunProgram({kServer, "init", data_, "--db-name", "E2E Base", "--db-password", "dbpw",
                       "--user", "alice:secret", "--user", "Bob:hunter2"}).status;
    if (rc != 0) throw std::runtime_error("qvn-server init failed");
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      int log = ::open((dir_ + "/server.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(log, 2);
      ::close(out[0]);
      ::execl(kServer, kServer, "--data", data_.c_str(), "--port", "0", "--file-port", "0",
              "--timeout-ms", "5000", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    // "qvn-server listening: port=N file-port=M"
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{out[0], POLLIN, 0};
      if (::poll(&p, 1, 200) <= 0) continue;
      char buf[256];
      ssize_t n = ::read(out[0], buf, sizeof buf);
      if (n <= 0) break;
      line.append(buf, static_cast<size_t>(n));
    }
    ::close(out[0]);
    unsigned port = 0, file_port = 0;
    if (std::sscanf(line.c_str(), "qvn-server listening: port=%u file-port=%u", &port, &file_port) != 2) {
      Stop();
      throw std::runtime_error("qvn-server did not start: " + line);
    }
    port_ = static_cast<uint16_t>(port);
    file_port_ = static_cast<uint16_t>(file_port);
  }

  ~ServerProcess() { Stop(); }

  // SIGTERM, then waits (bounded) for a clean exit. Returns its exit status.
  int Stop() {
    if (pid_ <= 0) return exit_status_;
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return exit_status_;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = 0;
    exit_status_ = -9;
    return exit_status_;
  }

  uint16_t port() const { return port_; }
  uint16_t file_port() const { return file_port_; }
  const std::string& dir() const { return dir_; }    // scratch space for the test
  const std::string& data() const { return data_; }  // the server's data folder
  std::string log() const { return ReadFile(dir_ + "/server.log"); }

 private:
  TempFolder folder_;
  const std::string dir_ = folder_.path();
  std::string data_;
  pid_t pid_ = 0;
  int exit_status_ = 0;
  uint16_t port_ = 0, file_port_ = 0;
};

}  // namespace qvn::testing

#endif  // QVN_TESTS_SUPPORT_SERVER_PROCESS_POSIX_H_
