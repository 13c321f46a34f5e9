#include "temp_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "commands.h"
#include "output.h"
#include "platform/replace_file.h"
#include "platform/user_files.h"
#include "status.h"
#include "wide.h"

namespace qvn_cli {

namespace fs = std::filesystem;

std::vector<TempFile> FindTempFiles(const std::string& folder) {
  std::error_code ec;
  fs::directory_iterator it(qvn::platform::PathOfUtf8(folder), ec);
  if (ec) throw std::runtime_error("cannot read folder '" + folder + "': " + ec.message());
  std::vector<TempFile> found;
  for (const fs::directory_entry& entry : it) {
    if (!qvn::platform::IsTemporaryFileName(FromUtf8(qvn::platform::Utf8OfPath(entry.path().filename())))) continue;
    // Only what a download could have made: a regular file, never a link.
    if (!entry.is_regular_file(ec) || entry.is_symlink(ec)) continue;
    found.push_back({qvn::platform::Utf8OfPath(entry.path()), entry.file_size(ec)});
  }
  std::sort(found.begin(), found.end(),
            [](const TempFile& a, const TempFile& b) { return a.path < b.path; });
  return found;
}

// Lists (or with --remove deletes) the temporary files that killed downloads
// left in the given folders. The library itself never deletes them: only the
// user knows that no download into the folder is still running.
int RunTempFiles(const Args& a) {
  std::vector<std::string> folders = a.rest;
  if (folders.empty()) folders.push_back(".");
  int status = 0;
  for (const std::string& folder : folders) {
    for (const TempFile& f : FindTempFiles(folder)) {
      std::error_code removed;
      if (!a.remove) {
        WriteOut(f.path + "\t" + std::to_string(f.size) + "\n");
      } else if (fs::remove(qvn::platform::PathOfUtf8(f.path), removed)) {
        WriteOut("removed " + f.path + "\n");
      } else {
        WriteErr("qvn: temp-files: cannot remove '" + f.path + "': " + removed.message() + "\n");
        status = kRefused;
      }
    }
  }
  return status;
}

}  // namespace qvn_cli
