#include "temp_files.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "platform/replace_file.h"
#include "wide.h"

namespace qvn_cli {

std::vector<TempFile> FindTempFiles(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) throw std::runtime_error("cannot read folder '" + folder + "': " + ec.message());
  std::vector<TempFile> found;
  for (const fs::directory_entry& entry : it) {
    if (!qvn::platform::IsTemporaryFileName(FromUtf8(entry.path().filename().string()))) continue;
    // Only what a download could have made: a regular file, never a link.
    if (!entry.is_regular_file(ec) || entry.is_symlink(ec)) continue;
    found.push_back({entry.path().string(), entry.file_size(ec)});
  }
  std::sort(found.begin(), found.end(),
            [](const TempFile& a, const TempFile& b) { return a.path < b.path; });
  return found;
}

}  // namespace qvn_cli
