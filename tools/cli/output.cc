#include "output.h"

#include <cstdio>

#include "platform/terminal.h"

namespace qvn_cli {
namespace {

using qvn::platform::StdStream;

void Write(StdStream stream, FILE* file, const std::string& utf8) {
  // Asked each time: cheap, and a program's streams do not change kind.
  if (qvn::platform::IsTerminal(stream)) {
    qvn::platform::WriteTerminal(stream, utf8);
  } else {
    std::fwrite(utf8.data(), 1, utf8.size(), file);
  }
}

}  // namespace

void WriteOut(const std::string& utf8) { Write(StdStream::kOutput, stdout, utf8); }
void WriteErr(const std::string& utf8) { Write(StdStream::kError, stderr, utf8); }

}  // namespace qvn_cli
