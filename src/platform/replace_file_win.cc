#include <windows.h>

#include "base/errors.h"
#include "platform/fault_injection.h"
#include "platform/replace_file.h"

namespace qvn::platform {
namespace {

const wchar_t* PathOf(const Text& name) { return reinterpret_cast<const wchar_t*>(name.c_str()); }

// The absolute form of a name ("\\" separators, the drive or share named);
// the name itself when the system cannot say.
Text FullPath(const Text& name) {
  const DWORD n = GetFullPathNameW(PathOf(name), 0, nullptr, nullptr);
  if (n == 0) return name;
  Text full(n, u'\0');
  const DWORD got = GetFullPathNameW(PathOf(name), n, reinterpret_cast<wchar_t*>(full.data()), nullptr);
  if (got == 0 || got >= n) return name;
  full.resize(got);
  return full;
}

}  // namespace

Text FolderOf(const Text& path) {
  const size_t slash = path.find_last_of(u"\\/:");
  return slash == Text::npos ? Text() : path.substr(0, slash + 1);
}

Text ResolveReplaceTarget(const Text& target) { return target; }

void CheckDownloadTarget(const Text& target) {
  const DWORD attributes = GetFileAttributesW(PathOf(target));
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    // A link or junction is not followed here, and replacing one would put a
    // plain file in its place.
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))
      throw Error("the target exists and is not a regular file");
    if (attributes & FILE_ATTRIBUTE_READONLY) throw Error("the target is read-only");
  }
  // Opened, not only looked at: the system's own word on permissions, and the
  // one way to tell a device name (NUL, CON, COM1) from a file.
  HANDLE handle = CreateFileW(PathOf(target), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    throw PlatformError("the target cannot be written", static_cast<uint32_t>(error));
  }
  const DWORD type = GetFileType(handle);
  CloseHandle(handle);
  if (type != FILE_TYPE_DISK) throw Error("the target exists and is not a regular file");
}

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
    // Full paths: Wine's ReplaceFileW takes no relative name, and no "/".
    if (fault::Injected(fault::Op::kRename)) {
      throw PlatformError("replace failed", static_cast<uint32_t>(GetLastError()));
    }
    if (ReplaceFileW(PathOf(FullPath(target)), PathOf(FullPath(temp_name)), nullptr,
                     REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
      return;
    // The target may have gone meanwhile; a plain move then does.
    if (GetLastError() != ERROR_FILE_NOT_FOUND)
      throw PlatformError("replace failed", static_cast<uint32_t>(GetLastError()));
  }
  if (fault::Injected(fault::Op::kRename) || !MoveFileExW(PathOf(temp_name), PathOf(target), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw PlatformError("rename failed", static_cast<uint32_t>(GetLastError()));
}

}  // namespace qvn::platform
