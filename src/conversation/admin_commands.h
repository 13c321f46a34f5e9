#ifndef QVN_CONVERSATION_ADMIN_COMMANDS_H_
#define QVN_CONVERSATION_ADMIN_COMMANDS_H_

#include <cstdint>
#include <functional>

#include "base/text.h"
#include "conversation/answer_words.h"

namespace qvn {

// EncryptText(Md5Hex(line), Md5Hex(line)): 108 characters.
Text AdminToken(const Text& line);

// The command exchange every command and message shares: port 0 and a failed
// probe give "CONNECTION_ERROR"; then connect, build the request (after the
// connection is open), send, read one reply and return it unchanged. Never raises.
Text RunCommand(const Text& host, uint16_t port, int32_t probe_timeout_ms,
                const std::function<Text()>& build_request);

// Each returns the server's reply unchanged or "CONNECTION_ERROR"; never raises.
Text ClearSync(const Text& host, uint16_t port, const Text& line, int32_t probe_timeout_ms);
Text BuildShow(const Text& host, uint16_t port, const Text& line, int32_t number, bool flag,
               int32_t probe_timeout_ms);
// The worker of ShowDbName.
Text QueryDbName(const Text& host, uint16_t port, int32_t probe_timeout_ms);
// The worker of TryDbPassword.
Text CheckDbPassword(const Text& host, uint16_t port, const Text& credentials,
                     int32_t probe_timeout_ms);
// The worker of ChangeUniquePass.
Text ChangePassword(const Text& host, uint16_t port, const Text& db_password, const Text& user,
                    const Text& user_password, const Text& new_password);

}  // namespace qvn

#endif  // QVN_CONVERSATION_ADMIN_COMMANDS_H_
