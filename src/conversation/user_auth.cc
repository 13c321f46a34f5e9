#include "conversation/user_auth.h"

#include "codecs/text_crypto.h"
#include "conversation/framing.h"
#include "platform/debug_output.h"
#include "platform/socket.h"

namespace qvn {

Text UserKey(const Text& user, const Text& password) { return Trim(UpperTrim(user) + password); }

Text AuthenticateUser(const Text& host, uint16_t port, const Text& user, const Text& password) {
  if (port == 0) {
    platform::ReportFailure("authentication", host, port, "port 0: nothing is sent");
    return kConnectionError;
  }
  try {
    platform::Connection connection = platform::Connection::Open(host, port);
    connection.EnableKeepAlive();
    const Text key = UserKey(user, password);
    WriteMessage(connection, u"USERAUTH:" + UpperTrim(Md5Hex(key)));
    const Text reply = ReadMessage(connection);
    connection.Close();
    // The cipher refuses an empty key, so a blank name with a blank
    // password can never be answered.
    if (key.empty()) return kConnectionError;
    if (reply.empty()) return Text();
    return DecryptText(key, reply);
  } catch (...) {
    platform::ReportFailure("authentication", host, port);
    return kConnectionError;
  }
}

}  // namespace qvn
