// The product version an executable file carries, the path of the running
// executable, and the local clock's millisecond.
//
// Windows reads the VS_FIXEDFILEINFO of the file's version resource through
// the version API. Linux reads the same record from a Windows image itself,
// and from an ELF program the ".qvn_version" section that the CMake function
// qvn_set_product_version (cmake/QvnVersion.cmake) puts there.
#ifndef QVN_PLATFORM_VERSION_INFO_H_
#define QVN_PLATFORM_VERSION_INFO_H_

#include <cstdint>

#include "base/text.h"

namespace qvn::platform {

struct ProductVersion {
  uint16_t major = 0, minor = 0, release = 0, build = 0;
  bool operator==(const ProductVersion&) const = default;
};

// Raises PlatformError with the system's error code when the file cannot be
// read or has no version information (Linux: the errno of open/read, ENOEXEC
// for a file that is neither ELF nor PE, ENODATA for an image without one).
ProductVersion ReadProductVersion(const Text& file_name);

// Full path of the current process's executable; raises PlatformError.
Text ExecutablePath();

// Millisecond part of the local time of day, 0..999; 0 when it cannot be read.
int LocalMillisecond();

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_VERSION_INFO_H_
