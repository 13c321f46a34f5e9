// The parts of a file that do not depend on the system's file API.
#include "platform/files.h"

namespace qvn::platform {

File::~File() { Close(); }

File::File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = kNoHandle; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = kNoHandle;
  }
  return *this;
}

}  // namespace qvn::platform
