// The file port: uploads and downloads in encrypted 32,768-byte blocks.
#ifndef QVN_SERVER_FILE_PORT_H_
#define QVN_SERVER_FILE_PORT_H_

#include <optional>
#include <string>

#include "base/text.h"
#include "net.h"
#include "options.h"
#include "store.h"

namespace qvn::server {

inline constexpr size_t kPlainBlock = 32767;
inline constexpr size_t kCipherBlock = 32768;

// Maps a server file name ("..\a\b.txt" under the files root, ".@\a\b.txt"
// under the content root; "\" and "/" both separate) to a path below its
// root. Nothing for names that could leave the root: "." or ".." parts, an
// absolute rest, a drive or stream colon, NUL, a missing prefix or no name.
std::optional<std::string> MapServerName(const Store& store, TextView name);

// Serves one file-port connection to its end.
void ServeFileConnection(Store& store, const Options& options, Peer& peer);

}  // namespace qvn::server

#endif  // QVN_SERVER_FILE_PORT_H_
