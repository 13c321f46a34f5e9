// Small file-system helpers: whole-file reads, atomic replacement (temporary
// file, fsync, rename) and directory creation.
#ifndef QVN_SERVER_FILES_H_
#define QVN_SERVER_FILES_H_

#include <stdexcept>
#include <string>

namespace qvn::server {

class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
std::string ReadWholeFile(const std::string& path);  // raises FileError
// Readers see either the old or the new content, never a half-written file.
void WriteFileAtomic(const std::string& path, const std::string& data);
// Appends and flushes; creates the file with mode 0600 when missing.
void AppendToFile(const std::string& path, const std::string& data);
// mkdir -p with mode 0700 for the parts it creates.
void MakeDirs(const std::string& path);
// A name in the same directory that no other writer picks.
std::string TemporaryNameFor(const std::string& path);

}  // namespace qvn::server

#endif  // QVN_SERVER_FILES_H_
