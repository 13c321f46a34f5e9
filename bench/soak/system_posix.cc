#include "soak/system_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace qvn::soak {
namespace {

using Clock = std::chrono::steady_clock;

// Appends what arrives on fd to `pending` until it holds a line or the time
// runs out; takes the line out.
std::string ReadLineFrom(int fd, std::string& pending, int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (pending.find('\n') == std::string::npos && fd >= 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return {};
    pollfd p{fd, POLLIN, 0};
    const int rc = ::poll(&p, 1, static_cast<int>(left.count()));
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) return {};
    char buf[512];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return {};
    pending.append(buf, static_cast<size_t>(n));
  }
  const size_t end = pending.find('\n');
  if (end == std::string::npos) return {};
  std::string line = pending.substr(0, end);
  pending.erase(0, end + 1);
  return line;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

int CountEntries(const char* folder) {
  DIR* d = ::opendir(folder);
  if (d == nullptr) return -1;
  int n = 0;
  while (const dirent* e = ::readdir(d)) {
    if (e->d_name[0] != '.') ++n;
  }
  ::closedir(d);
  return n;
}

}  // namespace

SharedCounter::SharedCounter() {
  void* page = ::mmap(nullptr, sizeof(std::atomic<uint64_t>), PROT_READ | PROT_WRITE,
                      MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (page == MAP_FAILED) throw std::runtime_error("mmap failed");
  value_ = new (page) std::atomic<uint64_t>(0);
}

SharedCounter::~SharedCounter() { ::munmap(value_, sizeof(std::atomic<uint64_t>)); }

pid_t ForkChild() {
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(1);  // the parent went before the line above
  }
  return pid;
}

int WaitForChild(pid_t pid, int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  int status = 0;
  for (;;) {
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (r < 0 && errno != EINTR) return -1;
    if (Clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Options& options) {
  int out[2] = {-1, -1};
  if (options.capture_stdout && ::pipe2(out, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  pid_ = ForkChild();
  if (pid_ == 0) {
    if (options.capture_stdout) ::dup2(out[1], STDOUT_FILENO);
    if (!options.stderr_path.empty()) {
      const int log = ::open(options.stderr_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
      if (log >= 0) ::dup2(log, STDERR_FILENO);
      // What it says on stdout is not the soak's report either.
      if (log >= 0 && !options.capture_stdout) ::dup2(log, STDOUT_FILENO);
    }
    if (options.file_size_limit > 0) {
      // A write beyond the limit then fails (EFBIG), as on a full disk,
      // instead of ending the server.
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{options.file_size_limit, options.file_size_limit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  if (options.capture_stdout) {
    ::close(out[1]);
    stdout_fd_ = out[0];
  }
  if (pid_ < 0) {
    CloseFd(stdout_fd_);
    throw std::runtime_error("fork failed");
  }
}

ChildProcess::~ChildProcess() { Kill(); }

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(other.pid_), stdout_fd_(other.stdout_fd_), pending_(std::move(other.pending_)) {
  other.pid_ = -1;
  other.stdout_fd_ = -1;
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    Kill();
    pid_ = other.pid_;
    stdout_fd_ = other.stdout_fd_;
    pending_ = std::move(other.pending_);
    other.pid_ = -1;
    other.stdout_fd_ = -1;
  }
  return *this;
}

std::string ChildProcess::ReadLine(int timeout_ms) {
  return ReadLineFrom(stdout_fd_, pending_, timeout_ms);
}

void ChildProcess::Kill() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
  CloseFd(stdout_fd_);
  pending_.clear();
}

int ChildProcess::Wait(int timeout_ms) {
  if (pid_ <= 0) return -1;
  const int status = WaitForChild(pid_, timeout_ms);
  pid_ = -1;
  CloseFd(stdout_fd_);
  return status;
}

SmallDisk::SmallDisk(const std::string& path, int mib) : path_(path) {
  std::filesystem::create_directories(path);
  const std::string size = "size=" + std::to_string(mib) + "m";
  // A namespace of our own first: the mount is then private to the soak's
  // processes and vanishes with the last of them, however they end.
  if (::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
      ::mount("qvn-soak", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, size.c_str()) == 0) {
    mounted_ = true;
    how_ = "a tmpfs of " + std::to_string(mib) + " MiB (private mount namespace)";
    return;
  }
  limit_ = static_cast<uint64_t>(mib) << 17;  // an eighth of the size per file
  how_ = "no tmpfs (" + std::string(::geteuid() == 0 ? "mount failed" : "not root") +
         "): qvn-server runs under RLIMIT_FSIZE of " + std::to_string(limit_ >> 10) + " KiB";
}

SmallDisk::~SmallDisk() {
  if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
}

uint64_t SmallDisk::FreeBytes() const {
  struct statvfs s {};
  if (!mounted_ || ::statvfs(path_.c_str(), &s) != 0) return 0;
  return static_cast<uint64_t>(s.f_bavail) * s.f_frsize;
}

ProcessFigures ReadProcessFigures() {
  ProcessFigures f;
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) f.rss_kib = std::strtoull(line.c_str() + 6, nullptr, 10);
    if (line.rfind("Threads:", 0) == 0) f.threads = std::atoi(line.c_str() + 8);
  }
  // The listing's own descriptor is counted too; the same in every reading.
  f.descriptors = CountEntries("/proc/self/fd");
  return f;
}

void KeepLargeBlocksApart() { ::mallopt(M_MMAP_THRESHOLD, 64 << 10); }

void ReleaseFreeMemory() { ::malloc_trim(0); }

LinePipe::LinePipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  read_fd_ = fds[0];
  write_fd_ = fds[1];
}

LinePipe::~LinePipe() {
  CloseFd(read_fd_);
  CloseFd(write_fd_);
}

void LinePipe::KeepReadEnd() { CloseFd(write_fd_); }
void LinePipe::KeepWriteEnd() { CloseFd(read_fd_); }
void LinePipe::CloseWriteEnd() { CloseFd(write_fd_); }

void LinePipe::WriteLine(const std::string& line) {
  const std::string text = line + "\n";
  size_t done = 0;
  while (done < text.size() && write_fd_ >= 0) {
    const ssize_t n = ::write(write_fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

std::string LinePipe::ReadLine(int timeout_ms) {
  return ReadLineFrom(read_fd_, pending_, timeout_ms);
}

bool LinePipe::WaitForEnd(int timeout_ms) {
  pollfd p{read_fd_, POLLIN, 0};
  for (;;) {
    const int rc = ::poll(&p, 1, timeout_ms);
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) return false;
    char buf[64];
    const ssize_t n = ::read(read_fd_, buf, sizeof buf);
    if (n <= 0) return true;
  }
}

namespace {
volatile int* g_stop_flag = nullptr;
void OnStopSignal(int) {
  if (g_stop_flag != nullptr) *g_stop_flag = 1;
}
}  // namespace

void StopOnSignals(volatile int* flag) {
  g_stop_flag = flag;
  struct sigaction a {};
  a.sa_handler = &OnStopSignal;
  ::sigaction(SIGINT, &a, nullptr);
  ::sigaction(SIGTERM, &a, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *bytes = s.str();
  return !in.bad();
}

std::string MakeScratchFolder() {
  char name[] = "/tmp/qvn-soak.XXXXXX";
  if (::mkdtemp(name) == nullptr) throw std::runtime_error("mkdtemp failed");
  return name;
}

void RemoveTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

}  // namespace qvn::soak
