#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>

#include "base/text.h"
#include "platform/command_line.h"

namespace qvn::platform {
namespace {

// The array CommandLineToArgvW allocates, released with LocalFree.
struct ArgvHolder {
  wchar_t** argv = nullptr;
  ~ArgvHolder() {
    if (argv != nullptr) LocalFree(argv);
  }
};

}  // namespace

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  ArgvHolder wide{CommandLineToArgvW(GetCommandLineW(), &count)};
  if (wide.argv == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) {
    const wchar_t* w = wide.argv[i];
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
