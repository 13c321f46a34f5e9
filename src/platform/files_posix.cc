#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <string>

#include "base/errors.h"
#include "platform/cancellation_posix.h"
#include "platform/fault_injection.h"
#include "platform/native_path_posix.h"

namespace qvn::platform {
namespace {

[[noreturn]] void RaiseErrno(const char* what) {
  throw PlatformError(what, static_cast<uint32_t>(errno));
}

int Fd(intptr_t h) { return static_cast<int>(h); }

int Open(const Text& name, int flags, mode_t mode = 0) {
  if (fault::Injected(fault::Op::kOpen)) return -1;
  return ::open(NativePath(name).c_str(), flags, mode);
}

}  // namespace

File File::OpenForSharedRead(const Text& name) {
  // O_NONBLOCK: a file swapped for a FIFO since it was checked must not stall
  // the open; such a file is refused, and a regular file reads normally again.
  int fd = Open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) RaiseErrno("open for reading failed");
  File file(fd);
  struct stat st;
  if (::fstat(fd, &st) != 0) RaiseErrno("fstat failed");
  if (!S_ISREG(st.st_mode)) throw PlatformError("not a regular file", EINVAL);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) RaiseErrno("fcntl failed");
  return file;
}

File File::Create(const Text& name, bool must_be_new) {
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (must_be_new ? O_EXCL : O_TRUNC);
  int fd = Open(name, flags, 0666);
  if (fd < 0) RaiseErrno("create failed");
  return File(fd);
}

File File::OpenExistingForWrite(const Text& name) {
  int fd = Open(name, O_WRONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) RaiseErrno("open for writing failed");
  File file(fd);
  // Non-blocking only so that a FIFO put there meanwhile cannot hang the open.
  if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) RaiseErrno("open failed");
  return file;
}

File File::CreateNewPrivate(const Text& name) {
  int fd = Open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) RaiseErrno("create failed");
  return File(fd);
}

File File::OpenForAppend(const Text& name) {
  int fd = Open(name, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) RaiseErrno("open for appending failed");
  return File(fd);
}

size_t File::Read(uint8_t* data, size_t n) {
  for (;;) {
    ssize_t got = fault::Injected(fault::Op::kRead) ? -1 : ::read(Fd(handle_), data, n);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno != EINTR) RaiseErrno("read failed");
  }
}

void File::Write(const uint8_t* data, size_t n) {
  while (n > 0) {
    ssize_t put = fault::Injected(fault::Op::kWrite) ? -1 : ::write(Fd(handle_), data, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      RaiseErrno("write failed");
    }
    data += put;
    n -= static_cast<size_t>(put);
  }
}

int64_t File::Size() const {
  struct stat st;
  if (::fstat(Fd(handle_), &st) != 0) RaiseErrno("fstat failed");
  return static_cast<int64_t>(st.st_size);
}

int64_t File::Position() const {
  off_t pos = ::lseek(Fd(handle_), 0, SEEK_CUR);
  if (pos < 0) RaiseErrno("lseek failed");
  return static_cast<int64_t>(pos);
}

void File::SetEndOfFile(int64_t size) {
  if (size < 0) throw PlatformError("negative file size", EINVAL);
  if (fault::Injected(fault::Op::kSetEnd) || ::ftruncate(Fd(handle_), static_cast<off_t>(size)) != 0)
    RaiseErrno("ftruncate failed");
  if (::lseek(Fd(handle_), static_cast<off_t>(size), SEEK_SET) < 0) RaiseErrno("lseek failed");
}

void File::Flush() {
  if (fault::Injected(fault::Op::kFlush) || ::fsync(Fd(handle_)) != 0) RaiseErrno("fsync failed");
}

void File::CloseOrRaise() {
  const int fd = Fd(handle_);
  handle_ = kNoHandle;
  // Linux closes the descriptor even when close() fails: never retry.
  if (::close(fd) != 0 && errno != EINTR) RaiseErrno("close failed");
}

void File::Close() noexcept {
  if (handle_ != kNoHandle) {
    const CancellationHeldOff held_off;  // called from the destructor
    ::close(Fd(handle_));
    handle_ = kNoHandle;
  }
}

bool IsRegularFile(const Text& name) {
  if (HasLoneSurrogate(name)) return false;  // no file can have that name
  struct stat st;
  return ::stat(NativePath(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool RemoveFile(const Text& name) noexcept {
  try {
    return !fault::Injected(fault::Op::kRemove) && ::unlink(NativePath(name).c_str()) == 0;
  } catch (const std::exception&) {  // the path could not be formed
    return false;
  }
}

bool IsFileInUse(const Text& name) noexcept {
  try {
    // O_NONBLOCK keeps a FIFO from stalling the probe; it is not a regular
    // file anyway.
    int fd = ::open(NativePath(name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return true;
    struct stat st;
    bool in_use = ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
                  ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);  // also drops the lock
    return in_use;
  } catch (const std::exception&) {  // the path could not be formed
    return true;
  }
}

}  // namespace qvn::platform
