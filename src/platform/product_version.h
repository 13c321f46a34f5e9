// The product version an executable file carries.
//
// Windows reads the VS_FIXEDFILEINFO of the file's version resource through
// the version API. Linux reads the same record from a Windows image itself,
// and from an ELF program the ".qvn_version" section that the CMake function
// qvn_set_product_version (cmake/QvnVersion.cmake) puts there, both with the
// portable reader in base/executable_version.h.
#ifndef QVN_PLATFORM_PRODUCT_VERSION_H_
#define QVN_PLATFORM_PRODUCT_VERSION_H_

#include "base/executable_version.h"
#include "base/text.h"

namespace qvn::platform {

// Raises PlatformError with the system's error code when the file cannot be
// read or has no version information (Linux: the errno of open/read, ENOEXEC
// for a file that is neither ELF nor PE, ENODATA for an image without one).
ProductVersion ReadProductVersion(const Text& file_name);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_PRODUCT_VERSION_H_
