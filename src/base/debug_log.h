// Diagnostics for people who ask why a call answered "CONNECTION_ERROR",
// "NONE" or false: with QVN_DEBUG=1 in the environment every failure cause
// becomes one line on stderr (Linux) or OutputDebugStringW (Windows):
//
//   qvn: ShowDbName: probe 127.0.0.1:7711: cannot connect: Connection refused
//
// Off by default. Lines name the call, the place and the cause; they never
// carry passwords, keys or plain texts, so callers pass only error texts,
// host names, ports and file names.
//
// The lines are made here; the system's side (is QVN_DEBUG set, where does a
// line go, what does an error code say) is installed by the platform layer
// (platform/debug_output.h), which every export does before anything else.
#ifndef QVN_BASE_DEBUG_LOG_H_
#define QVN_BASE_DEBUG_LOG_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/text.h"

namespace qvn {

// The system's side of the lines.
struct DebugSystem {
  bool (*requested)();                          // QVN_DEBUG asks for lines
  void (*write_line)(const std::string& line);  // one whole line, without its end
  std::string (*error_text)(uint32_t code);     // a PlatformError's code in words
};
// Until a system is installed, lines go only to a test sink and codes read
// "error N". `system` must outlive every report.
void InstallDebugSystem(const DebugSystem* system);

// True when the installed system asks for lines, or a test sink is installed.
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

// "qvn: CALL: WHERE HOST:PORT: CAUSE". Raises nothing but the end of its
// thread (a cancel acted on while the line is written).
void ReportFailure(std::string_view where, const Text& host, uint16_t port,
                   std::string_view cause);
// The same with the exception being handled as the cause; call it only
// inside a catch block.
void ReportFailure(std::string_view where, const Text& host, uint16_t port);
// Without an address: "qvn: CALL: WHERE: CAUSE", the cause given or (inside a
// catch block) the exception being handled.
void ReportFailure(std::string_view where, std::string_view cause);
void ReportFailure(std::string_view where);

// Tests: lines go to `sink` (empty: back to the system) and reporting is on
// while a sink is set.
void SetDebugSinkForTesting(std::function<void(const std::string&)> sink);

}  // namespace qvn

#endif  // QVN_BASE_DEBUG_LOG_H_
