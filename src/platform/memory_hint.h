// Hints to the system's memory manager for the library's large result buffers.
#ifndef QVN_PLATFORM_MEMORY_HINT_H_
#define QVN_PLATFORM_MEMORY_HINT_H_

#include <cstddef>

namespace qvn::platform {

// `bytes` at `p` (just allocated, not yet touched) are about to be written in
// full: back them with large pages where the system allows it, so that filling
// a buffer of many megabytes does not cost a page fault every 4 KiB. Does
// nothing for small buffers or where there is no such hint; never fails.
void HintLargeWrite(void* p, size_t bytes);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_MEMORY_HINT_H_
