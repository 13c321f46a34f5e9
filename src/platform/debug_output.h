// The system's side of the QVN_DEBUG lines that base/debug_log.h makes:
// whether QVN_DEBUG asks for them (read once per process), and where a line
// goes: stderr on Linux, OutputDebugStringW on Windows.
#ifndef QVN_PLATFORM_DEBUG_OUTPUT_H_
#define QVN_PLATFORM_DEBUG_OUTPUT_H_

#include <string>

namespace qvn::platform {

// Hands that side, with SystemErrorText (platform/error_text.h), to
// base/debug_log.h. Every export calls it first (api/boundary.h); after the
// first call it costs one load.
void InstallDebugOutput();

// Writes one line, whole.
void WriteDebugLine(const std::string& line);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_DEBUG_OUTPUT_H_
