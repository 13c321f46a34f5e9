// Folders and what a path names, for the stand-in server's data folder: its
// listing, its creation, and where a path really leads. Paths are UTF-16
// text (wide calls on Windows, UTF-8 paths on Linux) and may use "/" on both
// systems. Failures raise PlatformError with the system's code.
#ifndef QVN_PLATFORM_FOLDERS_H_
#define QVN_PLATFORM_FOLDERS_H_

#include <vector>

#include "base/text.h"

namespace qvn::platform {

enum class PathKind { kMissing, kFile, kFolder, kLink, kOther };

// What the path names itself, a final link not followed: kLink for a
// symbolic link and, on Windows, for any reparse point (a junction, a mount
// point), kOther for a FIFO, device or socket. Raises nothing.
PathKind KindOf(const Text& path) noexcept;

// True for an existing folder, links followed. Raises nothing.
bool IsFolder(const Text& path) noexcept;

// The names in a folder ("." and ".." left out), in the system's order.
std::vector<Text> ListFolder(const Text& folder);

// Creates the folder and every missing one above it ("mkdir -p"), each
// readable only by its owner on Linux (mode 0700). A part that already exists
// is left as it is; raises naming the part that could not be made.
void MakeFolders(const Text& path);

// The absolute path with every link (and reparse point) resolved and "/" as
// the separator on both systems; empty when the path is missing or cannot be
// resolved (a dangling link, a loop). Raises nothing.
Text RealPath(const Text& path) noexcept;

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_FOLDERS_H_
