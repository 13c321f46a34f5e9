#include "platform/folders.h"

#include <windows.h>

#include <string>

#include "base/errors.h"

namespace qvn::platform {
namespace {

const wchar_t* Wide(const Text& path) { return reinterpret_cast<const wchar_t*>(path.c_str()); }

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

// A search handle of FindFirstFileExW, closed at the end of its scope.
class Search {
 public:
  explicit Search(HANDLE h) : h_(h) {}
  ~Search() {
    if (h_ != INVALID_HANDLE_VALUE) FindClose(h_);
  }
  Search(const Search&) = delete;
  Search& operator=(const Search&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

}  // namespace

PathKind KindOf(const Text& path) noexcept {
  const DWORD a = GetFileAttributesW(Wide(path));
  if (a == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  if (a & FILE_ATTRIBUTE_REPARSE_POINT) return PathKind::kLink;
  if (a & FILE_ATTRIBUTE_DIRECTORY) return PathKind::kFolder;
  if (a & FILE_ATTRIBUTE_DEVICE) return PathKind::kOther;
  return PathKind::kFile;
}

bool IsFolder(const Text& path) noexcept {
  // A link to a folder carries the folder attribute itself.
  const DWORD a = GetFileAttributesW(Wide(path));
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<Text> ListFolder(const Text& folder) {
  Text pattern = folder;
  while (!pattern.empty() && IsSeparator(pattern.back())) pattern.pop_back();
  pattern += u"\\*";
  WIN32_FIND_DATAW found;
  Search search(FindFirstFileExW(Wide(pattern), FindExInfoBasic, &found, FindExSearchNameMatch,
                                 nullptr, 0));
  std::vector<Text> names;
  if (search.get() == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return names;
    throw PlatformError("cannot list folder", error);
  }
  do {
    Text name(reinterpret_cast<const char16_t*>(found.cFileName));
    if (name != u"." && name != u"..") names.push_back(name);
  } while (FindNextFileW(search.get(), &found));
  const DWORD error = GetLastError();
  if (error != ERROR_NO_MORE_FILES) throw PlatformError("cannot list folder", error);
  return names;
}

void MakeFolders(const Text& path) {
  // A share ("//server/share") or a drive ("C:") is there or not; it is
  // never made.
  size_t first = 1;
  if (path.size() > 1 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    first = path.find_first_of(u"/\\", 2);
    first = first == Text::npos ? path.size() : path.find_first_of(u"/\\", first + 1);
    if (first == Text::npos) return;
  }
  for (size_t i = first; i <= path.size(); ++i) {
    if (i < path.size() && !IsSeparator(path[i])) continue;
    const Text part = path.substr(0, i);
    if (part.empty() || part.back() == u':' || IsSeparator(part.back())) continue;
    if (CreateDirectoryW(Wide(part), nullptr)) continue;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || GetFileAttributesW(Wide(part)) != INVALID_FILE_ATTRIBUTES) {
      continue;
    }
    throw PlatformError("cannot create folder " + TextToUtf8(part), error);
  }
}

Text RealPath(const Text& path) noexcept {
  // Opening follows every reparse point on the way; the handle's final name
  // is where the path leads.
  HANDLE h = CreateFileW(Wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Text();
  std::wstring name(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(h, name.data(), static_cast<DWORD>(name.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n >= name.size()) {
    name.resize(n + 1);
    n = GetFinalPathNameByHandleW(h, name.data(), static_cast<DWORD>(name.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }
  CloseHandle(h);
  if (n == 0 || n >= name.size()) return Text();
  Text out(reinterpret_cast<const char16_t*>(name.data()), n);
  // "\\?\C:\a" is "C:/a", "\\?\UNC\server\share" is "//server/share".
  if (out.rfind(u"\\\\?\\UNC\\", 0) == 0) {
    out = u"\\\\" + out.substr(8);
  } else if (out.rfind(u"\\\\?\\", 0) == 0) {
    out = out.substr(4);
  }
  for (char16_t& c : out) {
    if (c == u'\\') c = u'/';
  }
  return out;
}

}  // namespace qvn::platform
