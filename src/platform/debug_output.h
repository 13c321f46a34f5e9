// Diagnostics for people who ask why a call answered "CONNECTION_ERROR",
// "NONE" or false: with QVN_DEBUG=1 in the environment every failure cause
// becomes one line on stderr (Linux) or OutputDebugStringW (Windows):
//
//   qvn: ShowDbName: probe 127.0.0.1:7711: cannot connect: Connection refused
//
// Off by default. Lines name the call, the place and the cause; they never
// carry passwords, keys or plain texts, so callers pass only error texts,
// host names, ports and file names.
#ifndef QVN_PLATFORM_DEBUG_OUTPUT_H_
#define QVN_PLATFORM_DEBUG_OUTPUT_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/text.h"

namespace qvn::platform {

// True when QVN_DEBUG is set to anything but "" or "0" (read once), or a test
// sink is installed.
bool DebugOutputEnabled();

// Names the export (or thread) running on this thread, for the lines below.
class DebugCallScope {
 public:
  explicit DebugCallScope(const char* call) noexcept;
  ~DebugCallScope();
  DebugCallScope(const DebugCallScope&) = delete;
  DebugCallScope& operator=(const DebugCallScope&) = delete;

 private:
  const char* previous_;
};

// "qvn: CALL: WHERE HOST:PORT: CAUSE". Never raises.
void ReportFailure(std::string_view where, const Text& host, uint16_t port,
                   std::string_view cause) noexcept;
// The same with the exception being handled as the cause; call it only
// inside a catch block.
void ReportFailure(std::string_view where, const Text& host, uint16_t port) noexcept;
// Without an address: "qvn: CALL: WHERE: CAUSE", the cause given or (inside a
// catch block) the exception being handled.
void ReportFailure(std::string_view where, std::string_view cause) noexcept;
void ReportFailure(std::string_view where) noexcept;

// Tests: lines go to `sink` (empty: back to the system) and reporting is on
// while a sink is set.
void SetDebugSinkForTesting(std::function<void(const std::string&)> sink);

// The system half: writing one line.
void WriteDebugLine(const std::string& line);

// The system's text for an error code (errno / GetLastError / Winsock), in
// UTF-8, followed by the code: "Connection refused (error 111)".
std::string SystemErrorText(uint32_t code);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_DEBUG_OUTPUT_H_
