#ifndef QVN_CONVERSATION_USER_AUTH_H_
#define QVN_CONVERSATION_USER_AUTH_H_

#include <cstdint>

#include "base/text.h"
#include "conversation/answer_words.h"

namespace qvn {

// UpperTrim(user) + password, trimmed: the key the server answers under.
Text UserKey(const Text& user, const Text& password);

// The worker of UserAuthentication. "USERAUTH:" + digest of the user key;
// the reply decrypted under the user key, or "CONNECTION_ERROR" when no
// reply could be had. Never raises.
Text AuthenticateUser(const Text& host, uint16_t port, const Text& user, const Text& password);

}  // namespace qvn

#endif  // QVN_CONVERSATION_USER_AUTH_H_
