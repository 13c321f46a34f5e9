// The file port: uploads and downloads in encrypted 32,768-byte blocks.
#ifndef QVN_SERVER_FILE_PORT_H_
#define QVN_SERVER_FILE_PORT_H_

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "base/text.h"
#include "options.h"
#include "peer.h"
#include "store.h"

namespace qvn::server {

inline constexpr size_t kPlainBlock = 32767;
inline constexpr size_t kCipherBlock = 32768;

// Maps a server file name ("..\a\b.txt" under the files root, ".@\a\b.txt"
// under the content root; "\" and "/" both separate) to a path below its
// root. Nothing for names that could leave the root: "." or ".." parts, an
// absolute rest, a drive or stream colon, NUL, a missing prefix or no name.
std::optional<std::string> MapServerName(const Store& store, TextView name);

// Keeps a download behind the uploads that were accepted before it: the
// client runs a script's transfers one after another, so a download of a
// file that the script has just uploaded must see the finished upload.
class FileTraffic {
 public:
  uint64_t Begin();  // at accept time, in accept order
  // The connection's request is known: an upload to path, or nothing to wait for.
  void Named(uint64_t id, const std::string& upload_path);
  void End(uint64_t id);
  // Waits (at most timeout_ms) until no connection accepted before id is still
  // unread or uploading to path.
  void WaitForEarlierUploads(uint64_t id, const std::string& path, int timeout_ms);

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  uint64_t next_ = 0;
  std::map<uint64_t, std::optional<std::string>> open_;  // nothing: request not read yet
};

// Serves one file-port connection to its end.
void ServeFileConnection(Store& store, const Options& options, Peer& peer, FileTraffic& traffic,
                         uint64_t id);

}  // namespace qvn::server

#endif  // QVN_SERVER_FILE_PORT_H_
