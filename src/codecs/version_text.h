// The product version of an executable as "major.minor.release.build", and the
// millisecond part of the local clock.
//
// Where the version comes from:
//  - Windows: the PRODUCTVERSION of the file's VERSIONINFO resource, read with
//    GetFileVersionInfoSizeW / GetFileVersionInfoW / VerQueryValueW("\\").
//  - Linux, Windows images (.exe/.dll): the same VS_FIXEDFILEINFO, found by
//    walking the image's resource tree (RT_VERSION / 1 / first language).
//  - Linux, ELF programs and libraries: a section ".qvn_version" of 16 bytes,
//    the magic "QVNPRVER" followed by major, minor, release and build as
//    16-bit little-endian numbers. A host program gets it with one line in
//    its CMake project, after include(cmake/QvnVersion.cmake):
//        qvn_set_product_version(<target> 1.2.0.15)
//    (on Windows the same line adds a VERSIONINFO resource). The section
//    survives strip.
// Files are read with bounds checks everywhere; a damaged file gives
// PlatformError like a file without version information, never a crash.
#ifndef QVN_CODECS_VERSION_TEXT_H_
#define QVN_CODECS_VERSION_TEXT_H_

#include "base/text.h"

namespace qvn {

// Raises PlatformError carrying the system's code when the file cannot be read
// or has no version information (Windows: GetLastError; Linux: errno of
// open/read, ENOEXEC for neither ELF nor PE, ENODATA for no version record).
Text VersionText(const Text& file_name);

// VersionText of the executable of the current process (the host program).
Text HostVersionText();

// 0..999; 0 when the clock cannot be read.
int CurrentMillisecond();

}  // namespace qvn

#endif  // QVN_CODECS_VERSION_TEXT_H_
