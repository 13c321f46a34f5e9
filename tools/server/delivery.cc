#include "delivery.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files.h"
#include "net.h"

namespace qvn::server {
namespace {

// Each message is stored in UTF-8 and ended by CR LF, like a line list.
std::string MessageRecord(const Text& message) { return TextToUtf8(message) + "\r\n"; }

// Writes to the FIFO; false when it has no reader (nothing written then).
bool WriteToFifo(const std::string& path, const std::string& data) {
  int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;  // ENXIO: nobody reads the pipe
  int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
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

}  // namespace

Text DeliverToPipe(const Store& store, const Text& message) {
  std::string fifo = store.messages_dir() + "/pipe";
  struct stat st{};
  try {
    if (::stat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode) && WriteToFifo(fifo, MessageRecord(message))) {
      return u"OK";
    }
    AppendToFile(store.messages_dir() + "/pipe.log", MessageRecord(message));
  } catch (const std::exception& e) {
    return u"ERROR: " + Utf8ToText(e.what());
  }
  return u"OK";
}

Text DeliverToFile(const Store& store, const Text& message) {
  try {
    AppendToFile(store.messages_dir() + "/messages.txt", MessageRecord(message));
  } catch (const std::exception& e) {
    return u"ERROR: " + Utf8ToText(e.what());
  }
  return u"OK";
}

Text DeliverByTcp(const std::string& host, uint16_t port, const Text& message, bool allow_remote,
                  int timeout_ms) {
  if (port == 0) return u"ERROR: receiver port 0";
  try {
    if (!allow_remote && !IsLoopbackHost(host)) {
      return u"ERROR: receiver " + Utf8ToText(host) + u" is not a loopback address";
    }
    int fd = ConnectWithTimeout(host, port, timeout_ms);
    try {
      WriteFrameFd(fd, message);
    } catch (...) {
      ::close(fd);
      throw;
    }
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
  } catch (const std::exception& e) {
    return u"ERROR: " + Utf8ToText(e.what());
  }
  return u"OK";
}

}  // namespace qvn::server
