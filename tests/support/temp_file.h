// Temporary files and folders for tests, removed again with what they hold,
// and whole-file helpers (binary).
#ifndef QVN_TESTS_SUPPORT_TEMP_FILE_H_
#define QVN_TESTS_SUPPORT_TEMP_FILE_H_

#include <filesystem>
#include <string>
#include <vector>

#include "base/text.h"

namespace qvn::testing {

void WriteFileBytes(const std::string& path, const Bytes& bytes);
Bytes ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
// A file of `size` bytes whose content depends on the position and the seed.
Bytes PatternBytes(size_t size, uint32_t seed = 1);

// A fresh folder under the system's temporary folder.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const;
  std::vector<std::string> Names() const;

 private:
  std::string path_;
};

// One file with the given content and name ending, in a folder of its own.
class TempFile {
 public:
  TempFile(const std::string& suffix, const Bytes& content)
      : path_(folder_.File("file" + suffix)) {
    WriteFileBytes(path_, content);
  }
  Text name() const { return std::filesystem::path(path_).u16string(); }

 private:
  TempFolder folder_;
  std::string path_;
};

}  // namespace qvn::testing

#endif  // QVN_TESTS_SUPPORT_TEMP_FILE_H_
