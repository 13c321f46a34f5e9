// Small file-system helpers: whole-file reads, atomic replacement (the
// library's temporary file beside the target, flushed, then renamed) and
// directory creation.
#ifndef QVN_SERVER_FILES_H_
#define QVN_SERVER_FILES_H_

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "base/text.h"
#include "platform/files.h"

namespace qvn::server {

class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
std::string ReadWholeFile(const std::string& path);  // raises FileError
// A file written under a temporary name beside `path` and put in its place in
// one step by Commit, so readers see the old or the new content, never a half
// of it; dropped unless committed. A new file takes the process's default
// mode, an existing one keeps its own. Raises FileError.
class ReplacementFile {
 public:
  explicit ReplacementFile(const std::string& path);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  void Write(const uint8_t* data, size_t n);
  void Commit();

 private:
  Text target_, temp_;
  platform::File file_;
};

// Replaces the file as a whole; a new one is created with mode 0600.
void WriteFileAtomic(const std::string& path, const std::string& data);
// Appends and flushes; creates the file with mode 0600 when missing.
void AppendToFile(const std::string& path, const std::string& data);
// mkdir -p with mode 0700 for the parts it creates.
void MakeDirs(const std::string& path);

}  // namespace qvn::server

#endif  // QVN_SERVER_FILES_H_
