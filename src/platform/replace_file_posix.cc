#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <fstream>
#include <string>

#include "base/errors.h"
#include "platform/fault_injection.h"
#include "platform/native_path_posix.h"
#include "platform/replace_file.h"

namespace qvn::platform {
namespace {

// umask() can only be read by changing it, which races with other threads;
// the kernel shows it in /proc instead.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
  }
  return 022;
}

}  // namespace

Text FolderOf(const Text& path) {
  const size_t slash = path.rfind(u'/');
  return slash == Text::npos ? Text() : path.substr(0, slash + 1);
}

Text ResolveReplaceTarget(const Text& target) {
  std::string path = NativePath(target);
  for (int hops = 0;; ++hops) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return Utf8ToText(path);
    if (hops >= 40) throw PlatformError("too many symbolic links", ELOOP);
    std::string link(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n < 0) throw PlatformError("readlink failed", static_cast<uint32_t>(errno));
    link.resize(static_cast<size_t>(n));
    if (link.empty() || link[0] != '/') {
      const size_t slash = path.rfind('/');
      if (slash != std::string::npos) link = path.substr(0, slash + 1) + link;
    }
    path = std::move(link);
  }
}

void CheckDownloadTarget(const Text& target) {
  const std::string path = NativePath(target);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return;
    throw PlatformError("cannot examine the target", static_cast<uint32_t>(errno));
  }
  // Replacing a FIFO or a device node would put a plain file in its place.
  if (!S_ISREG(st.st_mode)) throw Error("the target exists and is not a regular file");
  // Opened, not only looked at: the system's own word on permissions, read-only
  // mounts and immutable files. Nothing is changed by it.
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw PlatformError("the target cannot be written", static_cast<uint32_t>(errno));
  ::close(fd);
}

void ReplaceWithTemporary(const Text& temp_name, const Text& target) {
  const std::string from = NativePath(temp_name), to = NativePath(target);
  struct stat st;
  if (::stat(to.c_str(), &st) == 0) {
    // Owner first: chown may clear the set-id bits that chmod then restores.
    // Only root may give a file away; anyone else keeps their own ownership.
    if (::chown(from.c_str(), st.st_uid, st.st_gid) != 0 && errno != EPERM)
      throw PlatformError("chown failed", static_cast<uint32_t>(errno));
    if (::chmod(from.c_str(), st.st_mode & 07777) != 0)
      throw PlatformError("chmod failed", static_cast<uint32_t>(errno));
  } else if (::chmod(from.c_str(), 0666 & ~CurrentUmask()) != 0) {
    throw PlatformError("chmod failed", static_cast<uint32_t>(errno));
  }
  if (fault::Injected(fault::Op::kRename) || ::rename(from.c_str(), to.c_str()) != 0)
    throw PlatformError("rename failed", static_cast<uint32_t>(errno));
}

}  // namespace qvn::platform
