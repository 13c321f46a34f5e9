#include "conversation/user_auth.h"

#include "codecs/text_crypto.h"
#include "base/errors.h"
#include "conversation/exchange.h"

namespace qvn {

Text UserKey(const Text& user, const Text& password) { return Trim(UpperTrim(user) + password); }

Text AuthenticateUser(const Text& host, uint16_t port, const Text& user, const Text& password) {
  const Text key = UserKey(user, password);
  return Exchange(
             host, port, {.what = "authentication"},
             [&] { return u"USERAUTH:" + UpperTrim(Md5Hex(key)); },
             [&](Text reply) {
               // The cipher refuses an empty key, so a blank name with a blank
               // password can never be answered.
               if (key.empty()) throw Error("a blank user with a blank password has no key");
               return reply.empty() ? reply : DecryptText(key, reply);
             })
      .value_or(kConnectionError);
}

}  // namespace qvn
