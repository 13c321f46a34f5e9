// How long the commands wait for the server's port to answer the probe before
// they give up with "CONNECTION_ERROR". The host's own time-outs
// (QVN_CONNECT_TIMEOUT_MS, QVN_IO_TIMEOUT_MS) live in the socket layer.
#ifndef QVN_CONVERSATION_PROBE_TIMEOUTS_H_
#define QVN_CONVERSATION_PROBE_TIMEOUTS_H_

#include <cstdint>

namespace qvn {

// Commands reached through their own exports (ShowDbName, TryDbPassword,
// ChangeUniquePass, the DbMessage* calls).
inline constexpr int32_t kExportProbeMs = 5000;
// The CLEARSYNC and BUILD SHOW directives of a script.
inline constexpr int32_t kScriptProbeMs = 30000;

}  // namespace qvn

#endif  // QVN_CONVERSATION_PROBE_TIMEOUTS_H_
