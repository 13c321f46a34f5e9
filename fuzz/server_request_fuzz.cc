// The stand-in server's request handling: any payload, plain or encrypted
// under the database key as a script request, gets a reply and never a fault.
// Delivery by TCP is left out (it would connect somewhere).
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "base/text.h"
#include "codecs/text_crypto.h"
#include "fuzz_input.h"
#include "options.h"
#include "request_port.h"
#include "store.h"

namespace {

const qvn::Text kDbPassword = u"dbpass";

// A fresh data folder now and then keeps the tables from growing without end.
qvn::server::Store& FreshStore(bool renew) {
  static const std::string dir =
      (std::filesystem::temp_directory_path() / ("qvn-fuzz-store-" + std::to_string(getpid())))
          .string();
  static std::unique_ptr<qvn::server::Store> store;
  if (store == nullptr || renew) {
    store.reset();
    std::filesystem::remove_all(dir);
    qvn::server::Store::Create(dir, u"fuzzdb", kDbPassword, {{u"user", u"userpass"}});
    store = std::make_unique<qvn::server::Store>(dir);
  }
  return *store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static size_t runs = 0;
  qvn::server::Store& store = FreshStore(++runs % 5000 == 0);
  static const qvn::server::Options options;
  qvn_fuzz::FuzzInput in(data, size);
  const uint8_t mode = in.Byte();
  qvn::Text payload = in.Rest();
  if (mode & 1) {
    // A script request as the client sends it, so the script language is reached.
    payload = qvn::EncryptText(qvn::Md5Hex(kDbPassword),
                               u"QUARVEN_v1.0#" + kDbPassword + u"\r\n" + payload);
  }
  if (qvn::TextView(payload).find(u"TCP#") != qvn::TextView::npos) return 0;
  (void)qvn::server::HandleRequest(store, options, payload, "fuzz");
  return 0;
}
