#include "files.h"

#include "base/errors.h"
#include "platform/error_text.h"
#include "platform/folders.h"
#include "platform/replace_file.h"

namespace qvn::server {

bool FileExists(const std::string& path) { return platform::IsRegularFile(Utf8ToText(path)); }

bool IsDirectory(const std::string& path) { return platform::IsFolder(Utf8ToText(path)); }

namespace {

// The library's failures carry the system's code; the log wants its words.
[[noreturn]] void Rethrow(const std::string& what, const std::string& path) {
  try {
    throw;
  } catch (const PlatformError& e) {
    throw FileError(what + " " + path + ": " + e.what() + ": " + platform::SystemErrorText(e.code()));
  } catch (const std::exception& e) {
    throw FileError(what + " " + path + ": " + e.what());
  }
}

}  // namespace

std::string ReadWholeFile(const std::string& path) {
  try {
    platform::File file = platform::File::OpenForSharedRead(Utf8ToText(path));
    std::string out;
    uint8_t buf[65536];
    while (size_t k = file.Read(buf, sizeof buf)) out.append(reinterpret_cast<char*>(buf), k);
    return out;
  } catch (const std::exception&) {
    Rethrow("cannot read", path);
  }
}

ReplacementFile::ReplacementFile(const std::string& path) : target_(Utf8ToText(path)) {
  try {
    file_ = platform::CreateTemporaryBeside(target_, temp_);
  } catch (const std::exception&) {
    Rethrow("cannot create a temporary file for", path);
  }
}

ReplacementFile::~ReplacementFile() {
  if (temp_.empty()) return;
  file_.Close();
  platform::RemoveFile(temp_);
}

void ReplacementFile::Write(const uint8_t* data, size_t n) {
  try {
    file_.Write(data, n);
  } catch (const std::exception&) {
    Rethrow("cannot write", TextToUtf8(temp_));
  }
}

void ReplacementFile::Commit() {
  try {
    file_.Flush();
    file_.CloseOrRaise();
    platform::ReplaceWithTemporary(temp_, target_);
  } catch (const std::exception&) {
    Rethrow("cannot replace", TextToUtf8(target_));
  }
  temp_.clear();
}

void WriteFileAtomic(const std::string& path, const std::string& data) {
  // The replacement takes the mode of the file it replaces: a private one.
  if (!FileExists(path)) AppendToFile(path, "");
  ReplacementFile file(path);
  file.Write(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  file.Commit();
}

void AppendToFile(const std::string& path, const std::string& data) {
  try {
    platform::File file = platform::File::OpenForAppend(Utf8ToText(path));
    file.Write(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    file.CloseOrRaise();
  } catch (const std::exception&) {
    Rethrow("cannot append to", path);
  }
}

void MakeDirs(const std::string& path) {
  if (path.empty()) return;
  try {
    platform::MakeFolders(Utf8ToText(path));
  } catch (const PlatformError& e) {
    throw FileError(std::string(e.what()) + ": " + platform::SystemErrorText(e.code()));
  }
  if (!IsDirectory(path)) throw FileError("not a folder: " + path);
}

}  // namespace qvn::server
