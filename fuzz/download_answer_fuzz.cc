// The download answer: any block of plain bytes gives a size or none, and a
// size is what the second "^" field spells.
#include <algorithm>

#include "transfer/file_transfer_client.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t n = std::min<size_t>(size, qvn::TransferBlockSize);
  const std::optional<int64_t> announced = qvn::DownloadAnswerSize(data, n);
  if (announced.has_value()) {
    // Spelled again in decimal, the same number comes back.
    const std::string again = "OK^" + std::to_string(*announced);
    const auto* bytes = reinterpret_cast<const uint8_t*>(again.data());
    QVN_FUZZ_CHECK(qvn::DownloadAnswerSize(bytes, again.size()) == announced);
  }
  return 0;
}
