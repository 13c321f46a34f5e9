#include "platform/native_path_posix.h"

#include <cerrno>

#include "base/errors.h"

namespace qvn::platform {

std::string NativePath(const Text& name) {
  if (HasLoneSurrogate(name)) throw PlatformError("the file name is not valid Unicode", EILSEQ);
  return TextToUtf8(name);
}

}  // namespace qvn::platform
