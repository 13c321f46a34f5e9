#include "platform/fifo.h"

namespace qvn::platform {

bool WriteToFifo(const Text&, const std::string&) noexcept { return false; }

}  // namespace qvn::platform
