#include "platform/command_line.h"

namespace qvn::platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void UseBinaryStandardStreams() {}

}  // namespace qvn::platform
