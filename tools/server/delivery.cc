#include "delivery.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/errors.h"
#include "conversation/framing.h"
#include "files.h"
#include "platform/socket.h"

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

// getaddrinfo's IPv4 addresses of host, freed at the end of the scope.
class Addresses {
 public:
  Addresses(const std::string& host, uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list_);
    if (rc != 0) throw ConnectionError("cannot resolve " + host + ": " + ::gai_strerror(rc));
  }
  ~Addresses() { ::freeaddrinfo(list_); }
  Addresses(const Addresses&) = delete;
  Addresses& operator=(const Addresses&) = delete;
  const addrinfo* get() const { return list_; }

 private:
  addrinfo* list_ = nullptr;
};

// True when every address of host is a loopback one.
bool IsLoopbackHost(const std::string& host) {
  Addresses list(host, 0);
  for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
    if ((ntohl(in->sin_addr.s_addr) >> 24) != 127) return false;
  }
  return list.get() != nullptr;
}

// A receiver that does not answer must not hold the request's thread: the
// connect and every later write are bounded by timeout_ms.
platform::Connection ConnectWithTimeout(const std::string& host, uint16_t port, int timeout_ms) {
  Addresses list(host, port);
  int last = ECONNREFUSED;
  for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) throw ConnectionError(std::string("cannot create socket: ") + std::strerror(errno));
    int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      rc = ::poll(&p, 1, timeout_ms);
      int err = ETIMEDOUT;
      socklen_t len = sizeof err;
      if (rc > 0) ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
      rc = (rc > 0 && err == 0) ? 0 : -1;
      errno = err;
    }
    if (rc == 0) {
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
      ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
      return platform::Connection(static_cast<intptr_t>(fd));
    }
    last = errno;
    ::close(fd);
  }
  throw ConnectionError("cannot connect to " + host + ":" + std::to_string(port) + ": " +
                        std::strerror(last));
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
    platform::Connection receiver = ConnectWithTimeout(host, port, timeout_ms);
    std::string broken = WriteMessage(receiver, message);
    if (!broken.empty()) throw ConnectionError(broken);
  } catch (const std::exception& e) {
    return u"ERROR: " + Utf8ToText(e.what());
  }
  return u"OK";
}

}  // namespace qvn::server
