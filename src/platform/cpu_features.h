// What the processor offers beyond the baseline the library is built for.
#ifndef QVN_PLATFORM_CPU_FEATURES_H_
#define QVN_PLATFORM_CPU_FEATURES_H_

namespace qvn::platform {

// AES-NI and SSE4.1 (CPUID leaf 1), checked once per process. Always false
// off x86-64, and when QVN_NO_AESNI is set in the environment (to measure or
// test the fallback on a machine that has them).
bool CpuHasAesNi();

// AES-NI as above, and VAES with AVX-512F (CPUID leaf 7) whose registers the
// system saves (XCR0): AES rounds on four blocks per instruction.
bool CpuHasVaes512();

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_CPU_FEATURES_H_
