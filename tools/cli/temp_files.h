// Temporary files left behind by downloads that were killed before they
// finished: found by the library's own name pattern, removed only on request.
#ifndef QVN_CLI_TEMP_FILES_H_
#define QVN_CLI_TEMP_FILES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace qvn_cli {

struct TempFile {
  std::string path;
  uintmax_t size = 0;
};

// The temporary files directly inside `folder` (not below it), by name.
// Throws std::runtime_error when the folder cannot be read.
std::vector<TempFile> FindTempFiles(const std::string& folder);

}  // namespace qvn_cli

#endif  // QVN_CLI_TEMP_FILES_H_
