#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace qvn::server {
namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw FileError(what + " " + path + ": " + std::strerror(errno));
}

void WriteAllFd(int fd, const std::string& data, const std::string& path) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t k = ::write(fd, data.data() + done, data.size() - done);
    if (k < 0) {
      if (errno == EINTR) continue;
      Fail("cannot write", path);
    }
    done += static_cast<size_t>(k);
  }
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ReadWholeFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("cannot open", path);
  std::string out;
  char buf[65536];
  for (;;) {
    ssize_t k = ::read(fd, buf, sizeof buf);
    if (k < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      ::close(fd);
      errno = e;
      Fail("cannot read", path);
    }
    if (k == 0) break;
    out.append(buf, static_cast<size_t>(k));
  }
  ::close(fd);
  return out;
}

std::string TemporaryNameFor(const std::string& path) {
  static std::atomic<unsigned long> counter{0};
  return path + ".qvn-tmp-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

void WriteFileAtomic(const std::string& path, const std::string& data) {
  std::string tmp = TemporaryNameFor(path);
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) Fail("cannot create", tmp);
  try {
    WriteAllFd(fd, data, tmp);
    if (::fsync(fd) != 0) Fail("cannot sync", tmp);
  } catch (...) {
    ::close(fd);
    ::unlink(tmp.c_str());
    throw;
  }
  ::close(fd);
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    int e = errno;
    ::unlink(tmp.c_str());
    errno = e;
    Fail("cannot replace", path);
  }
}

void AppendToFile(const std::string& path, const std::string& data) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) Fail("cannot open", path);
  try {
    WriteAllFd(fd, data, path);
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
}

void MakeDirs(const std::string& path) {
  if (path.empty()) return;
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) Fail("cannot create folder", part);
    }
  }
  if (!IsDirectory(path)) throw FileError("not a folder: " + path);
}

}  // namespace qvn::server
