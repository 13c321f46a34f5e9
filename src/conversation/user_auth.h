#ifndef QVN_CONVERSATION_USER_AUTH_H_
#define QVN_CONVERSATION_USER_AUTH_H_

#include <cstdint>

#include "base/text.h"

namespace qvn {

// UpperTrim(user) + password, trimmed: the key the server answers under.
Text UserKey(const Text& user, const Text& password);

// "USERAUTH:" + digest of the user key; the reply decrypted under the user key,
// or "CONNECTION_ERROR" when no reply could be had. Never raises.
Text AuthenticateUser(const Text& host, uint16_t port, const Text& user, const Text& password);

// True when the stored version differs from the host program's own; false and
// nothing sent when the own version cannot be formed. Never raises.
bool CheckForUpdate(const Text& host, uint16_t port, const Text& credentials, const Text& table,
                    int32_t search_field, const Text& search_text, int32_t version_field);

// CheckForUpdate's two queries, compared against the given own version text.
bool CheckForUpdateWithVersion(const Text& own_version, const Text& host, uint16_t port,
                               const Text& credentials, const Text& table, int32_t search_field,
                               const Text& search_text, int32_t version_field);

}  // namespace qvn

#endif  // QVN_CONVERSATION_USER_AUTH_H_
