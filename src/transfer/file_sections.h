// File sections of a script: blocks of lines that move files between the
// host and the server. They are taken out of the script before its commands
// go to the server and handed to the transfer thread, which carries out the
// entries ListFileEntries finds in them.
#ifndef QVN_TRANSFER_FILE_SECTIONS_H_
#define QVN_TRANSFER_FILE_SECTIONS_H_

#include <vector>

#include "base/text.h"

namespace qvn {

// TidyScriptLines on the script lines, then ExtractFileSections.
void SplitFileSections(std::vector<Text>& script_lines, std::vector<Text>& file_sections);

// Trims the script and every line, drops empty lines and lines beginning with
// "/", removes blanks after "[" and before "]", and joins a line ending in "{"
// with the next one and a line beginning with "}" with the previous one.
void TidyScriptLines(std::vector<Text>& script_lines);

// Makes file_sections the script's line 0 followed by every section (header
// through the first line ending in "}", or through the end of the script),
// and removes those lines from the script.
void ExtractFileSections(std::vector<Text>& script_lines, std::vector<Text>& file_sections);

// The four headers in the order they are tested.
inline constexpr const char16_t* kFileSectionHeaders[] = {
    u"FILES [UPLOAD]", u"FILES [DOWNLOAD]", u"CONTENT [UPLOAD]", u"CONTENT [DOWNLOAD]"};

// Does a script line begin a file section? Letter case (full Unicode upper
// case) and extra blanks are free.
bool IsFileSectionHeader(TextView line);

enum class TransferDirection { kUpload, kDownload };
// FILES entries name server files with "..\", CONTENT entries with ".@\".
enum class FileSectionKind { kFiles, kContent };

struct FileEntry {
  TransferDirection direction;
  FileSectionKind kind;
  Text client_file;  // the local path
  Text server_file;  // with the section's prefix
  bool operator==(const FileEntry&) const = default;
};

// The entries of a file-section list (line 0: the credentials line) in the
// order the transfer thread carries them out. Reads no file: an upload entry
// whose local file is missing is listed, though the thread will skip it.
std::vector<FileEntry> ListFileEntries(const std::vector<Text>& file_sections);

// The entries of a whole script, as Script would hand them to the thread.
std::vector<FileEntry> ListScriptFileEntries(TextView script);

}  // namespace qvn

#endif  // QVN_TRANSFER_FILE_SECTIONS_H_
