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

bool ProbeVaes512() {
#if defined(__x86_64__) || defined(_M_X64)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0 || (ecx & bit_OSXSAVE) == 0) return false;
  unsigned xcr0_lo = 0, xcr0_hi = 0;
  __asm__("xgetbv" : "=a"(xcr0_lo), "=d"(xcr0_hi) : "c"(0));
  // SSE, AVX, and the three AVX-512 states (opmask, upper halves, upper registers).
  if ((xcr0_lo & 0xE6) != 0xE6) return false;
  if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return false;
  return (ebx & bit_AVX512F) != 0 && (ecx & bit_VAES) != 0;
#else
  return false;
#endif
}

}  // namespace

bool CpuHasAesNi() {
  static const bool has = Probe();
  return has;
}

bool CpuHasVaes512() {
  static const bool has = CpuHasAesNi() && ProbeVaes512();
  return has;
}

}  // namespace qvn::platform
