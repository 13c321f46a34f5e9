#include "platform/memory_hint.h"

namespace qvn::platform {

// Large pages on Windows need a privilege that host processes do not have.
void HintLargeWrite(void*, size_t) {}

}  // namespace qvn::platform
