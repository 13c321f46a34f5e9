#include "codecs/version_text.h"

#include "platform/version_info.h"

namespace qvn {

Text VersionText(const Text& file_name) {
  platform::ProductVersion v = platform::ReadProductVersion(file_name);
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
