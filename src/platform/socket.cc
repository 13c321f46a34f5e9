// The parts of a connection that do not depend on the socket API.
#include "platform/socket.h"

#include <algorithm>
#include <mutex>
#include <string>

#include "base/debug_log.h"
#include "base/errors.h"
#include "platform/environment.h"
#include "platform/socket_native.h"

namespace qvn::platform {
namespace {
constexpr intptr_t kNoSocket = -1;

std::mutex g_testing_mutex;
std::optional<SocketTimeouts> g_testing_timeouts;

// A variable's bound. A value that means no number of milliseconds sets no
// limit, as an unset one does, but not silently: a host that asked for a bound
// and wrote it wrong learns why it has none.
int32_t TimeoutFromEnvironment(const char* name) {
  const std::string value = EnvironmentValue(name);
  const int32_t ms = ParseTimeoutMs(value);
  if (ms == 0 && value.find_first_not_of('0') != std::string::npos) {
    ReportFailure(name, "\"" + value.substr(0, 24) +
                            "\" is not a whole number of milliseconds from 0 to 999999999: no limit");
  }
  return ms;
}

}  // namespace

int32_t ParseTimeoutMs(const std::string& value) {
  int64_t ms = 0;
  if (value.empty() || value.size() > 9) return 0;
  for (char c : value) {
    if (c < '0' || c > '9') return 0;
    ms = ms * 10 + (c - '0');
  }
  return static_cast<int32_t>(ms);
}

SocketTimeouts HostTimeouts() {
  {
    std::lock_guard<std::mutex> lock(g_testing_mutex);
    if (g_testing_timeouts) return *g_testing_timeouts;
  }
  static const SocketTimeouts from_environment{TimeoutFromEnvironment("QVN_CONNECT_TIMEOUT_MS"),
                                               TimeoutFromEnvironment("QVN_IO_TIMEOUT_MS"),
                                               TimeoutFromEnvironment("QVN_OPERATION_TIMEOUT_MS")};
  return from_environment;
}

void SetHostTimeoutsForTesting(std::optional<SocketTimeouts> timeouts) {
  std::lock_guard<std::mutex> lock(g_testing_mutex);
  g_testing_timeouts = timeouts;
}

Deadline::Deadline(int32_t bound_ms)
    : bound_ms_(bound_ms > 0 ? bound_ms : 0),
      at_(std::chrono::steady_clock::now() + std::chrono::milliseconds(bound_ms_)) {}

Deadline Deadline::ForOperation() { return Deadline(HostTimeouts().operation_ms); }

bool Deadline::Passed() const { return IsSet() && std::chrono::steady_clock::now() >= at_; }

namespace {
// Whole milliseconds until `at`, rounded up so that a wait of that length
// ends at or after it; 0 once it has passed.
int64_t MillisecondsUntil(std::chrono::steady_clock::time_point at) {
  const auto left = at - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  return std::chrono::ceil<std::chrono::milliseconds>(left).count();
}
}  // namespace

bool Deadline::Caps(int32_t wait_ms) const {
  return IsSet() && (wait_ms <= 0 || MillisecondsUntil(at_) <= wait_ms);
}

int32_t Deadline::Cap(int32_t wait_ms) const {
  if (!Caps(wait_ms)) return wait_ms;
  return static_cast<int32_t>(std::max<int64_t>(MillisecondsUntil(at_), 1));
}

void Deadline::Fail(const char* waiting_for) const {
  throw TimeoutError(std::string(waiting_for) +
                     ": the operation time-out (QVN_OPERATION_TIMEOUT_MS) of " +
                     std::to_string(bound_ms_) + " ms ran out");
}

int32_t TighterBound(int32_t a, int32_t b) {
  if (a <= 0) return b > 0 ? b : 0;
  return b > 0 && b < a ? b : a;
}

[[noreturn]] void FailConnectTimedOut(int32_t bound_ms) {
  throw TimeoutError("connect timed out after " + std::to_string(bound_ms) + " ms");
}

void Connection::FailTimedOut(const char* waiting_for) const {
  if (deadline_caps_wait_) deadline_.Fail(waiting_for);
  throw TimeoutError(std::string(waiting_for) + " timed out after " +
                     std::to_string(io_timeout_ms_) + " ms");
}

Connection::~Connection() { Close(); }

Connection Connection::Open(const Text& host, uint16_t port) {
  return Open(host, port, HostTimeouts());
}

Connection Connection::Open(const Text& host, uint16_t port, SocketTimeouts bounds,
                            const Deadline& deadline) {
  if (deadline.Passed()) deadline.Fail("connecting");
  const bool capped = deadline.Caps(bounds.connect_ms);
  SocketTimeouts within = bounds;
  within.connect_ms = deadline.Cap(bounds.connect_ms);
  try {
    Connection connection = Open(host, port, within);
    connection.deadline_ = deadline;
    return connection;
  } catch (const TimeoutError&) {
    if (capped) deadline.Fail("connecting");
    throw;
  }
}

int32_t Connection::CapWait(int32_t wait_ms) {
  if (deadline_.Passed()) deadline_.Fail("waiting for the peer");
  deadline_caps_wait_ = deadline_.Caps(wait_ms);
  return deadline_.Cap(wait_ms);
}

Connection::Connection(Connection&& other) noexcept
    : socket_(other.socket_),
      io_timeout_ms_(other.io_timeout_ms_),
      deadline_(other.deadline_),
      deadline_caps_wait_(other.deadline_caps_wait_) {
  other.socket_ = kNoSocket;
}

Connection& Connection::operator=(Connection&& other) noexcept {
  if (this != &other) {
    Close();
    socket_ = other.socket_;
    io_timeout_ms_ = other.io_timeout_ms_;
    deadline_ = other.deadline_;
    deadline_caps_wait_ = other.deadline_caps_wait_;
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
