#include "input.h"

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <iostream>

#include "platform/error_text.h"
#include "platform/user_files.h"
#include "status.h"

namespace qvn_cli {

std::string ReadAll(std::istream& in, const std::string& what) {
  std::string s;
  char piece[65536];
  while (in.read(piece, sizeof piece), in.gcount() > 0) {
    s.append(piece, static_cast<size_t>(in.gcount()));
    if (s.size() > kMaxInputBytes) {
      throw Failure(what + " is larger than " + std::to_string(kMaxInputBytes >> 20) +
                    " MiB, the most qvn reads");
    }
  }
  if (s.rfind("\xEF\xBB\xBF", 0) == 0) s.erase(0, 3);
  return s;
}

Wide ReadScript(const std::string& name) {
  std::string source;
  if (name == "-") {
    source = ReadAll(std::cin, "standard input");
  } else {
    errno = 0;
    std::ifstream file(qvn::platform::PathOfUtf8(name), std::ios::binary);
    if (!file) {
      // The stream keeps no reason of its own; the failed open left errno.
      const int code = errno;
      std::string why;
      if (code != 0) why = ": " + qvn::platform::SystemErrorText(static_cast<uint32_t>(code));
      throw Failure("cannot read " + name + why);
    }
    source = ReadAll(file, name);
  }
  Wide script = FromUtf8(source);
  if (IsBlankText(script)) {
    throw UsageError("the script " + std::string(name == "-" ? "on standard input" : name) +
                     " is empty: nothing to send");
  }
  return script;
}

Wide TextArg(const std::string& s) {
  if (s == "-") return FromUtf8(ReadAll(std::cin, "standard input"));
  return FromUtf8(s);
}

bool IsBlankText(const Wide& text) {
  for (char16_t c : text) {
    if (c > u' ') return false;
  }
  return true;
}

}  // namespace qvn_cli
