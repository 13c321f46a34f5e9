#include "platform/debug_output.h"

#include "base/debug_log.h"
#include "platform/environment.h"
#include "platform/error_text.h"

namespace qvn::platform {
namespace {

bool Requested() {
  static const bool requested = [] {  // thread-safe, once
    const std::string value = EnvironmentValue("QVN_DEBUG");
    return !value.empty() && value != "0";
  }();
  return requested;
}

constexpr DebugSystem kSystem{Requested, WriteDebugLine, SystemErrorText};

}  // namespace

void InstallDebugOutput() { InstallDebugSystem(&kSystem); }

}  // namespace qvn::platform
