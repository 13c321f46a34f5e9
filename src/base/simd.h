// Whether the build may use the 128-bit vector path for scanning text (SSE2,
// part of every x86-64 target): the one check behind the vectorised scans of
// the text search and the entity codecs. Code tests `#if QVN_SIMD_SSE2`; a
// build without it takes the plain loops, which give the same results.
// (AES-NI is another matter: chosen at run time, platform/cpu_features.h.)
#ifndef QVN_BASE_SIMD_H_
#define QVN_BASE_SIMD_H_

#if defined(__SSE2__)
#include <emmintrin.h>
#define QVN_SIMD_SSE2 1
#else
#define QVN_SIMD_SSE2 0
#endif

#endif  // QVN_BASE_SIMD_H_
