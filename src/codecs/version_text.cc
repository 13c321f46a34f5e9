#include "codecs/version_text.h"

#include "platform/executable_path.h"
#include "platform/local_clock.h"
#include "platform/product_version.h"

namespace qvn {

Text VersionText(const Text& file_name) {
  const ProductVersion v = platform::ReadProductVersion(file_name);
  Text out = UnsignedDecimalText(v.major);
  for (uint16_t part : {v.minor, v.release, v.build}) {
    out += u'.';
    out += UnsignedDecimalText(part);
  }
  return out;
}

Text HostVersionText() { return VersionText(platform::ExecutablePath()); }

int CurrentMillisecond() { return platform::LocalMillisecond(); }

}  // namespace qvn
