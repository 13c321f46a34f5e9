// A download replaces its target only once the whole file has arrived, and
// without changing what the target is: the same permissions (and owner where
// permitted), the file a symbolic link points to rather than the link, and a
// temporary name short enough for any folder the target can live in.
//
// Temporary files are named ".qvn-" + 8 hexadecimal digits + ".part" and sit
// in the target's folder (so the final replace stays on one volume).
#ifndef QVN_PLATFORM_REPLACE_FILE_H_
#define QVN_PLATFORM_REPLACE_FILE_H_

#include "base/text.h"
#include "platform/files.h"

namespace qvn::platform {

// The file a download of `target` must replace: symbolic links followed
// (Linux), the name itself otherwise. Raises PlatformError on a link loop.
Text ResolveReplaceTarget(const Text& target);

// Raises when a download must not touch `target` (links already followed):
// it exists and is not a regular file (a folder, FIFO, device or socket; on
// Windows also a reparse point or a device name such as NUL or CON), or it
// could not be opened for writing (permissions, the read-only attribute).
// A missing target passes.
void CheckDownloadTarget(const Text& target);

// True when a file name (no folder) has the temporary files' pattern.
bool IsTemporaryFileName(TextView name);

// A new temporary file beside `target`, created exclusively (no other file is
// ever touched); its name in temp_name. Raises PlatformError.
File CreateTemporaryBeside(const Text& target, Text& temp_name);

// Puts the (flushed and closed) temporary file in the target's place in one
// step. An existing target lends it its permission bits and owner (Linux) or
// is replaced with ReplaceFileW, keeping attributes, ACL and creation time
// (Windows). Raises PlatformError; the temporary file is then still there.
void ReplaceWithTemporary(const Text& temp_name, const Text& target);

// The folder part of a path, separator included ("" for a bare name).
Text FolderOf(const Text& path);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_REPLACE_FILE_H_
