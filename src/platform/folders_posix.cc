#include "platform/folders.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/errors.h"
#include "platform/native_path_posix.h"

namespace qvn::platform {
namespace {

struct CloseDir {
  void operator()(DIR* d) const { ::closedir(d); }
};

}  // namespace

PathKind KindOf(const Text& path) noexcept {
  if (HasLoneSurrogate(path)) return PathKind::kMissing;  // no file has that name
  struct stat st;
  if (::lstat(TextToUtf8(path).c_str(), &st) != 0) return PathKind::kMissing;
  if (S_ISREG(st.st_mode)) return PathKind::kFile;
  if (S_ISDIR(st.st_mode)) return PathKind::kFolder;
  if (S_ISLNK(st.st_mode)) return PathKind::kLink;
  return PathKind::kOther;
}

bool IsFolder(const Text& path) noexcept {
  if (HasLoneSurrogate(path)) return false;
  struct stat st;
  return ::stat(TextToUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<Text> ListFolder(const Text& folder) {
  std::unique_ptr<DIR, CloseDir> d(::opendir(NativePath(folder).c_str()));
  if (d == nullptr) throw PlatformError("cannot list folder", static_cast<uint32_t>(errno));
  std::vector<Text> names;
  while (const dirent* e = ::readdir(d.get())) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(Utf8ToText(name));
  }
  return names;
}

void MakeFolders(const Text& path) {
  const std::string utf8 = NativePath(path);
  for (size_t i = 1; i <= utf8.size(); ++i) {
    if (i == utf8.size() || utf8[i] == '/') {
      const std::string part = utf8.substr(0, i);
      if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
        throw PlatformError("cannot create folder " + part, static_cast<uint32_t>(errno));
      }
    }
  }
}

Text RealPath(const Text& path) noexcept {
  if (HasLoneSurrogate(path)) return Text();
  char buf[PATH_MAX];
  if (::realpath(TextToUtf8(path).c_str(), buf) == nullptr) return Text();
  return Utf8ToText(buf);
}

}  // namespace qvn::platform
