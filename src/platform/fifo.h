// Named pipes that live in a folder (FIFOs), for the stand-in server's pipe
// channel. Windows has none there (its pipes live under \\.\pipe\).
#ifndef QVN_PLATFORM_FIFO_H_
#define QVN_PLATFORM_FIFO_H_

#include <string>

#include "base/text.h"

namespace qvn::platform {

// Writes all of data to the FIFO at path when one is there and a reader has
// it open; false when there is no FIFO, no reader, or the write fails (part
// of data may then have gone). Never blocks on a FIFO without a reader;
// always false on Windows. Raises nothing.
bool WriteToFifo(const Text& path, const std::string& data) noexcept;

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_FIFO_H_
