#include "base/debug_log.h"

#include <atomic>
#include <exception>
#include <mutex>

#include "base/errors.h"
#include "base/thread_exit.h"

namespace qvn {
namespace {

thread_local const char* t_call = nullptr;

// Installed by the platform layer; until then there is no system to ask.
std::atomic<const DebugSystem*> g_system{nullptr};

std::string ErrorText(uint32_t code) {
  const DebugSystem* system = g_system.load(std::memory_order_acquire);
  return system != nullptr ? system->error_text(code) : "error " + std::to_string(code);
}

struct TestSink {
  std::mutex mutex;
  std::function<void(const std::string&)> sink;
  std::atomic<bool> set{false};
};

TestSink& Sink() {
  static TestSink* sink = new TestSink;  // never destroyed: reports may come from any thread
  return *sink;
}

std::string CurrentExceptionText() {
  try {
    throw;
  } catch (const PlatformError& e) {
    return std::string(e.what()) + ": " + ErrorText(e.code());
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {  // whatever else was thrown still deserves a line
    RethrowThreadExit();
    return "unknown failure";
  }
}

void Emit(std::string_view where, const std::string* endpoint, std::string_view cause) {
  std::string line = "qvn: ";
  line += t_call != nullptr ? t_call : "(library)";
  line += ": ";
  line += where;
  if (endpoint != nullptr) {
    line += ' ';
    line += *endpoint;
  }
  line += ": ";
  line += cause;
  TestSink& test = Sink();
  if (test.set.load()) {
    std::lock_guard<std::mutex> lock(test.mutex);
    if (test.sink) {
      test.sink(line);
      return;
    }
  }
  const DebugSystem* system = g_system.load(std::memory_order_acquire);
  if (system != nullptr) system->write_line(line);
}

std::string Endpoint(const Text& host, uint16_t port) {
  return TextToUtf8(host) + ":" + std::to_string(port);
}

}  // namespace

void InstallDebugSystem(const DebugSystem* system) {
  // Every export installs the same system: a store only the first time.
  if (g_system.load(std::memory_order_acquire) != system) {
    g_system.store(system, std::memory_order_release);
  }
}

bool DebugOutputEnabled() {
  const DebugSystem* system = g_system.load(std::memory_order_acquire);
  return (system != nullptr && system->requested()) || Sink().set.load();
}

DebugCallScope::DebugCallScope(const char* call) noexcept : previous_(t_call) { t_call = call; }
DebugCallScope::~DebugCallScope() { t_call = previous_; }

namespace {

// A null cause stands for the exception being handled.
void Report(std::string_view where, const Text* host, uint16_t port,
            const std::string_view* cause) {
  if (!DebugOutputEnabled()) return;
  try {
    const std::string endpoint = host != nullptr ? Endpoint(*host, port) : std::string();
    Emit(where, host != nullptr ? &endpoint : nullptr,
         cause != nullptr ? std::string(*cause) : CurrentExceptionText());
  } catch (...) {  // a diagnostic line that cannot be made is not worth a failure
    RethrowThreadExit();
  }
}

}  // namespace

void ReportFailure(std::string_view where, const Text& host, uint16_t port,
                   std::string_view cause) {
  Report(where, &host, port, &cause);
}

void ReportFailure(std::string_view where, const Text& host, uint16_t port) {
  Report(where, &host, port, nullptr);
}

void ReportFailure(std::string_view where, std::string_view cause) {
  Report(where, nullptr, 0, &cause);
}

void ReportFailure(std::string_view where) { Report(where, nullptr, 0, nullptr); }

void SetDebugSinkForTesting(std::function<void(const std::string&)> sink) {
  TestSink& test = Sink();
  std::lock_guard<std::mutex> lock(test.mutex);
  test.set.store(static_cast<bool>(sink));
  test.sink = std::move(sink);
}

}  // namespace qvn
