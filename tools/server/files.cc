#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/errors.h"
#include "platform/replace_file.h"

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

// The library's failures carry the system's code; the log wants its words.
[[noreturn]] void Rethrow(const std::string& what, const std::string& path) {
  try {
    throw;
  } catch (const PlatformError& e) {
    throw FileError(what + " " + path + ": " + e.what() + ": " +
                    std::strerror(static_cast<int>(e.code())));
  } catch (const std::exception& e) {
    throw FileError(what + " " + path + ": " + e.what());
  }
}

ReplacementFile::ReplacementFile(const std::string& path) : target_(Utf8ToText(path)) {
  try {
    file_ = platform::CreateTemporaryBeside(target_, temp_);
  } catch (const std::exception&) {
    Rethrow("cannot create a temporary file for", path);
  }
}

ReplacementFile::~ReplacementFile() {
  if (temp_.empty()) return;
  file_.Close();
  platform::RemoveFile(temp_);
}

void ReplacementFile::Write(const uint8_t* data, size_t n) {
  try {
    file_.Write(data, n);
  } catch (const std::exception&) {
    Rethrow("cannot write", TextToUtf8(temp_));
  }
}

void ReplacementFile::Commit() {
  try {
    file_.Flush();
    file_.CloseOrRaise();
    platform::ReplaceWithTemporary(temp_, target_);
  } catch (const std::exception&) {
    Rethrow("cannot replace", TextToUtf8(target_));
  }
  temp_.clear();
}

void WriteFileAtomic(const std::string& path, const std::string& data) {
  // The replacement takes the mode of the file it replaces: a private one.
  if (!FileExists(path)) AppendToFile(path, "");
  ReplacementFile file(path);
  file.Write(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  file.Commit();
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
