// The product version of an executable as "major.minor.release.build", and the
// millisecond part of the local clock.
#ifndef QVN_CODECS_VERSION_TEXT_H_
#define QVN_CODECS_VERSION_TEXT_H_

#include "base/text.h"

namespace qvn {

// Raises PlatformError when the file has no readable version information.
Text VersionText(const Text& file_name);

// VersionText of the executable of the current process (the host program).
Text HostVersionText();

// 0..999; 0 when the clock cannot be read.
int CurrentMillisecond();

}  // namespace qvn

#endif  // QVN_CODECS_VERSION_TEXT_H_
