// What the soak asks of Linux beyond sockets: child processes, a small disk
// for the server's data, and the figures of a process (memory, descriptors,
// threads). The library's own services stay in src/platform/; these belong
// to this program alone.
#ifndef QVN_BENCH_SOAK_SYSTEM_POSIX_H_
#define QVN_BENCH_SOAK_SYSTEM_POSIX_H_

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace qvn::soak {

// A child process, killed (SIGKILL) and waited for when the object goes.
// It dies with its parent too (PR_SET_PDEATHSIG), so no exit path of the
// soak leaves one behind.
class ChildProcess {
 public:
  struct Options {
    std::string stderr_path;       // "": inherit; else stdout too unless captured
    bool capture_stdout = false;   // for ReadLine
    uint64_t file_size_limit = 0;  // RLIMIT_FSIZE in bytes; 0: none
  };
  ChildProcess() = default;
  ChildProcess(const std::vector<std::string>& argv, const Options& options);
  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool running() const { return pid_ > 0; }
  // One line of its stdout (without the line end), waiting at most
  // timeout_ms; "" on time-out or end.
  std::string ReadLine(int timeout_ms);
  // SIGKILL and wait.
  void Kill();
  // Waits at most timeout_ms for it to exit by itself: its exit status, or -1
  // when it was killed by a signal or did not end in time (then killed).
  int Wait(int timeout_ms);

 private:
  pid_t pid_ = -1;
  int stdout_fd_ = -1;
  std::string pending_;
};

// The folder the server's data lives in, on a small filesystem: a tmpfs of
// `mib` MiB mounted in a mount namespace of this process's own when it may
// (root), so that the mount goes away with the last process of the soak on
// any exit path; otherwise a plain folder, and the server runs under a file
// size limit instead (file_size_limit()).
class SmallDisk {
 public:
  SmallDisk(const std::string& path, int mib);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& how() const { return how_; }
  uint64_t file_size_limit() const { return mounted_ ? 0 : limit_; }
  // Bytes left on it (tmpfs), or 0 when not mounted.
  uint64_t FreeBytes() const;

 private:
  std::string path_, how_;
  bool mounted_ = false;
  uint64_t limit_ = 0;
};

// This process's resident memory, open descriptors and threads.
struct ProcessFigures {
  uint64_t rss_kib = 0;
  int descriptors = 0;
  int threads = 0;
};
ProcessFigures ReadProcessFigures();
// Large blocks (64 KiB and up) get pages of their own that go back to the
// system when freed, instead of the allocator's threshold rising with use:
// growth of resident memory then means memory kept, not a heap's layout.
void KeepLargeBlocksApart();
// Gives the allocator's free memory back to the system before a reading.
void ReleaseFreeMemory();

// A pipe between the soak and its chaos process: the child writes lines,
// the parent reads them; closing the parent's end of the other pipe tells
// the child to stop.
class LinePipe {
 public:
  LinePipe();
  ~LinePipe();
  LinePipe(const LinePipe&) = delete;
  LinePipe& operator=(const LinePipe&) = delete;
  void KeepReadEnd();   // in the reader, after fork
  void KeepWriteEnd();  // in the writer, after fork
  void WriteLine(const std::string& line);
  // "" on time-out or end.
  std::string ReadLine(int timeout_ms);
  // Blocks until the other end is closed (or timeout_ms passes: false).
  bool WaitForEnd(int timeout_ms);
  void CloseWriteEnd();

 private:
  int read_fd_ = -1, write_fd_ = -1;
  std::string pending_;
};

// A counter that a forked child and its parent both see (shared memory
// made before the fork).
class SharedCounter {
 public:
  SharedCounter();
  ~SharedCounter();
  SharedCounter(const SharedCounter&) = delete;
  SharedCounter& operator=(const SharedCounter&) = delete;
  std::atomic<uint64_t>& value() { return *value_; }

 private:
  std::atomic<uint64_t>* value_;
};

// fork(): 0 in the child, its pid in the parent, -1 on failure. The child
// dies with the parent.
pid_t ForkChild();
// Waits for a forked child; its exit status, -1 when killed or not in time
// (then SIGKILL).
int WaitForChild(pid_t pid, int timeout_ms);
// SIGINT and SIGTERM set the flag instead of ending the process.
void StopOnSignals(volatile int* flag);
// Writes a file in one go; false on failure.
bool WriteWholeFile(const std::string& path, const std::string& bytes);
// The file's bytes; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* bytes);
// A fresh folder under /tmp.
std::string MakeScratchFolder();
void RemoveTree(const std::string& path);

}  // namespace qvn::soak

#endif  // QVN_BENCH_SOAK_SYSTEM_POSIX_H_
