#include "platform/user_files.h"

#include "base/text.h"

namespace qvn::platform {

// Through UTF-16 both ways, with the project's own converter (the one every
// export uses), whatever the C++ library makes of narrow strings.
std::filesystem::path PathOfUtf8(const std::string& utf8) {
  return std::filesystem::path(Utf8ToText(utf8));
}

std::string Utf8OfPath(const std::filesystem::path& path) { return TextToUtf8(path.u16string()); }

}  // namespace qvn::platform
