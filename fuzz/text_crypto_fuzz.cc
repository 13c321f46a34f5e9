// Decrypting anything under any key is safe, and encryption undoes itself.
#include "base/errors.h"
#include "codecs/text_crypto.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qvn_fuzz::FuzzInput in(data, size);
  qvn::Text key = in.TextPiece(40);
  qvn::Text text = in.Rest();
  if (key.empty()) {
    bool raised = false;
    try {
      qvn::EncryptText(key, text);
    } catch (const qvn::AssertionFailure&) {
      raised = true;
    }
    QVN_FUZZ_CHECK(raised);
    return 0;
  }
  (void)qvn::DecryptText(key, text);
  (void)qvn::DecryptTextTwice(key, u"K", text);
  QVN_FUZZ_CHECK(qvn::DecryptText(key, qvn::EncryptText(key, text)) == text);
  QVN_FUZZ_CHECK(qvn::Md5Hex(text).size() == 32);
  return 0;
}
