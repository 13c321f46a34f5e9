#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "base/text.h"
#include "platform/command_line.h"

// The C runtime's own wide reading of the command line (msvcrt.dll): the
// same rules as argv's, without the code page, and without shell32, which
// the library itself, built from the same platform files, has no use for.
struct QvnStartupInfo {
  int new_mode;
};
extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int expand_wildcards,
                              QvnStartupInfo* info);

namespace qvn::platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = nullptr;
  wchar_t** environment = nullptr;
  QvnStartupInfo info{0};
  if (__wgetmainargs(&count, &wide, &environment, 0, &info) != 0 || wide == nullptr)
    return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) {
    const wchar_t* w = wide[i];
    size_t n = 0;
    while (w[n] != 0) ++n;
    out.push_back(TextToUtf8(TextView(reinterpret_cast<const char16_t*>(w), n)));
  }
  return out;
}

void UseBinaryStandardStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

}  // namespace qvn::platform
