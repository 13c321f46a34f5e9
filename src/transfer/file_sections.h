// File sections of a script: blocks of lines that move files between the
// host and the server. They are taken out of the script before its commands
// go to the server and handed to the transfer thread.
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

// Does the line (already upper-cased and with its blanks collapsed) begin a
// file section? The four headers in the order they are tested.
inline constexpr const char16_t* kFileSectionHeaders[] = {
    u"FILES [UPLOAD]", u"FILES [DOWNLOAD]", u"CONTENT [UPLOAD]", u"CONTENT [DOWNLOAD]"};

}  // namespace qvn

#endif  // QVN_TRANSFER_FILE_SECTIONS_H_
