#include "conversation/script_request.h"

#include "codecs/text_crypto.h"
#include "codecs/value_list.h"
#include "conversation/exchange.h"
#include "platform/debug_output.h"

namespace qvn {
namespace {

constexpr char16_t kProtocolTag[] = u"QUARVEN_v1.0#";

struct Credentials {
  Text db_password;
  Text user;
  Text user_password;
};

// The first line of the trimmed request: database password, user, user password.
Credentials ReadCredentials(const Text& trimmed_request) {
  std::vector<Text> lines = SplitLines(trimmed_request);
  const Text first = lines.empty() ? Text() : lines.front();
  return Credentials{Trim(ValueFromString(first, 0, u"@")), Trim(ValueFromString(first, 1, u"@")),
                     Trim(ValueFromString(first, 2, u"@"))};
}

}  // namespace

Text SendScript(const Text& host, uint16_t port, const Text& text, size_t message_limit) {
  const Text request = Trim(text);
  const Credentials credentials = ReadCredentials(request);
  const bool with_user = !credentials.user.empty();
  Text db_key, user_key;
  auto encrypt = [&] {
    db_key = Md5Hex(credentials.db_password);
    user_key = Md5Hex(credentials.user_password);
    const Text plaintext = kProtocolTag + request;
    // Only the user name travels in clear, so the server knows which user
    // key opens the inner layer.
    if (with_user) {
      return u"UID:" + credentials.user + u"#" +
             Trim(EncryptTextTwice(user_key, db_key, plaintext));
    }
    return Trim(EncryptText(db_key, plaintext));
  };
  auto decrypt = [&](Text reply) {
    if (reply.empty()) {
      // The server answers nothing to a request it cannot open.
      platform::ReportFailure("script request", host, port,
                              "empty reply (unknown user or wrong password?)");
      return reply;
    }
    return with_user ? DecryptTextTwice(user_key, db_key, std::move(reply))
                     : DecryptText(db_key, std::move(reply));
  };
  return Trim(Exchange(host, port, {.what = "script request", .message_limit = message_limit},
                       encrypt, decrypt)
                  .value_or(kNoneAnswer));
}

}  // namespace qvn
