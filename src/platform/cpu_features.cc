#include "platform/cpu_features.h"

#include "platform/environment.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <cpuid.h>
#endif

namespace qvn::platform {
namespace {

bool Probe() {
  if (!EnvironmentValue("QVN_NO_AESNI").empty()) return false;
#if defined(__x86_64__) || defined(_M_X64)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
  return (ecx & bit_AES) != 0 && (ecx & bit_SSE4_1) != 0;
#else
  return false;
#endif
}

}  // namespace

bool CpuHasAesNi() {
  static const bool has = Probe();
  return has;
}

}  // namespace qvn::platform
