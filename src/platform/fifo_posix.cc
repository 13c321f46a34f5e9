#include "platform/fifo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qvn::platform {

bool WriteToFifo(const Text& path, const std::string& data) noexcept {
  if (HasLoneSurrogate(path)) return false;  // no pipe has that name
  const std::string name = TextToUtf8(path);
  struct stat st;
  if (::stat(name.c_str(), &st) != 0 || !S_ISFIFO(st.st_mode)) return false;
  // Non-blocking open: ENXIO when nobody reads the pipe; blocking writes after.
  int fd = ::open(name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  size_t done = 0;
  bool ok = true;
  while (done < data.size()) {
    ssize_t k = ::write(fd, data.data() + done, data.size() - done);
    if (k < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<size_t>(k);
  }
  ::close(fd);
  return ok;
}

}  // namespace qvn::platform
