// Files that belong to the user who runs a program: where they live, and
// whether one is private enough to hold passwords.
#ifndef QVN_PLATFORM_USER_FILES_H_
#define QVN_PLATFORM_USER_FILES_H_

#include <filesystem>
#include <string>
#include <string_view>

namespace qvn::platform {

// Where a program keeps the user's file `name`, by each system's custom:
// Linux "$HOME/.name"; Windows "%APPDATA%\qvn\name" (the folder is made when
// missing). Empty when the system names no such folder.
std::string UserFilePath(std::string_view name);

// A UTF-8 path as the C++ library opens it (Windows: through UTF-16, so
// that names outside the ANSI code page work).
std::filesystem::path PathOfUtf8(const std::string& utf8);
// And back: the path's name in UTF-8.
std::string Utf8OfPath(const std::filesystem::path& path);

// What makes an existing file unfit to hold passwords, in words for a
// warning ("is not a plain file"); empty when it is fit, or when there is no
// such file (then `exists` is false). Linux: a plain file with no access
// for group or others (mode 0600 or less), as psql wants its .pgpass.
// Windows: a plain file; its access is not looked at (the folder of
// UserFilePath is the user's own profile, which others cannot read).
std::string PrivateFileProblem(const std::string& path, bool& exists);

// Appends text to the file, making it when missing so that only the user
// may read it (Linux: mode 0600; Windows: it inherits its folder's access).
// False when it cannot be written.
bool AppendToPrivateFile(const std::string& path, std::string_view text);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_USER_FILES_H_
