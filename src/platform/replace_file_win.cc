#include <windows.h>

#include "base/errors.h"
#include "platform/replace_file.h"

namespace qvn::platform {
namespace {

const wchar_t* PathOf(const Text& name) { return reinterpret_cast<const wchar_t*>(name.c_str()); }

}  // namespace

Text FolderOf(const Text& path) {
  const size_t slash = path.find_last_of(u"\\/:");
  return slash == Text::npos ? Text() : path.substr(0, slash + 1);
}

Text ResolveReplaceTarget(const Text& target) { return target; }

void ReplaceWithTemporary(const Text& temp_name, const Text& target) {
  if (GetFileAttributesW(PathOf(target)) != INVALID_FILE_ATTRIBUTES) {
    // A target held open without delete sharing cannot be replaced; asking
    // first spares ReplaceFileW a failure that can leave a stray file behind.
    HANDLE probe = CreateFileW(PathOf(target), DELETE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
      throw PlatformError("replace failed", static_cast<uint32_t>(GetLastError()));
    CloseHandle(probe);
    if (ReplaceFileW(PathOf(target), PathOf(temp_name), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                     nullptr, nullptr))
      return;
    // The target may have gone meanwhile; a plain move then does.
    if (GetLastError() != ERROR_FILE_NOT_FOUND)
      throw PlatformError("replace failed", static_cast<uint32_t>(GetLastError()));
  }
  if (!MoveFileExW(PathOf(temp_name), PathOf(target), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw PlatformError("rename failed", static_cast<uint32_t>(GetLastError()));
}

}  // namespace qvn::platform
