#include <windows.h>

#include <memory>
#include <system_error>

#include "base/text.h"
#include "platform/environment.h"
#include "platform/user_files.h"

namespace qvn::platform {
namespace {

// A file handle closed when it goes out of scope.
struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<void, HandleCloser>;

}  // namespace

std::string UserFilePath(std::string_view name) {
  const std::string app_data = EnvironmentValue("APPDATA");
  if (app_data.empty()) return {};
  const std::string folder = app_data + "\\qvn";
  std::error_code ignored;  // a folder that cannot be made shows when the file is used
  std::filesystem::create_directories(PathOfUtf8(folder), ignored);
  return folder + "\\" + std::string(name);
}

std::string PrivateFileProblem(const std::string& path, bool& exists) {
  const Text wide = Utf8ToText(path);
  const DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t*>(wide.c_str()));
  exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    return "is not a plain file";
  }
  return {};
}

bool AppendToPrivateFile(const std::string& path, std::string_view text) {
  const Text wide = Utf8ToText(path);
  HANDLE opened = CreateFileW(reinterpret_cast<const wchar_t*>(wide.c_str()), FILE_APPEND_DATA,
                              FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return false;
  const FileHandle file(opened);
  DWORD written = 0;
  return WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

}  // namespace qvn::platform
