// The parts of a connection that do not depend on the socket API.
#include "platform/socket.h"

#include "platform/socket_native.h"

namespace qvn::platform {
namespace {
constexpr intptr_t kNoSocket = -1;
}  // namespace

Connection::~Connection() { Close(); }

Connection::Connection(Connection&& other) noexcept : socket_(other.socket_) {
  other.socket_ = kNoSocket;
}

Connection& Connection::operator=(Connection&& other) noexcept {
  if (this != &other) {
    Close();
    socket_ = other.socket_;
    other.socket_ = kNoSocket;
  }
  return *this;
}

bool Connection::IsOpen() const { return socket_ != kNoSocket; }

int Remaining(int timeout_ms, std::chrono::steady_clock::time_point start) {
  if (timeout_ms < 0) return -1;
  auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
                   .count();
  return spent >= timeout_ms ? 0 : static_cast<int>(timeout_ms - spent);
}

}  // namespace qvn::platform
