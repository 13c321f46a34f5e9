#include "platform/memory_hint.h"

#include <sys/mman.h>

#include <cstdint>

namespace qvn::platform {

void HintLargeWrite(void* p, size_t bytes) {
#if defined(MADV_HUGEPAGE)
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  if (p == nullptr || bytes < 4 * kHuge) return;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kHuge - 1);
  // Only whole huge pages inside the buffer, so no neighbouring memory is affected.
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}

}  // namespace qvn::platform
