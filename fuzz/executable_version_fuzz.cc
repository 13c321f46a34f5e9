// Any file may be asked for its version: both image readers must give some
// answer for any bytes, never read outside them, never hang.
#include "base/executable_version.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const qvn::Bytes bytes(data, data + size);
  const qvn::MemoryImage image(bytes);
  auto pe = qvn::PeProductVersion(image);
  auto elf = qvn::ElfProductVersion(image);
  // One image is never both formats.
  QVN_FUZZ_CHECK(!(pe && elf));
  return 0;
}
