#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/environment.h"
#include "platform/user_files.h"

namespace qvn::platform {

std::string UserFilePath(std::string_view name) {
  const std::string home = EnvironmentValue("HOME");
  return home.empty() ? std::string() : home + "/." + std::string(name);
}

std::string PrivateFileProblem(const std::string& path, bool& exists) {
  struct stat st{};
  exists = ::stat(path.c_str(), &st) == 0;
  if (!exists) return {};
  if (!S_ISREG(st.st_mode)) return "is not a plain file";
  if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    return "has group or world access; permissions should be u=rw (0600) or less";
  }
  return {};
}

bool AppendToPrivateFile(const std::string& path, std::string_view text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  return done == text.size();
}

}  // namespace qvn::platform
