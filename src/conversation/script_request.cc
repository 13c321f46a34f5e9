#include "conversation/script_request.h"

#include "codecs/text_crypto.h"
#include "codecs/value_list.h"
#include "conversation/framing.h"
#include "platform/debug_output.h"
#include "platform/socket.h"

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
  Text answer = kNoneAnswer;
  if (port == 0) {
    platform::ReportFailure("script request", host, port, "port 0: nothing is sent");
    return answer;
  }
  try {
    platform::Connection connection = platform::Connection::Open(host, port);
    connection.EnableKeepAlive();

    const Text request = Trim(text);
    const Credentials credentials = ReadCredentials(request);
    const Text db_key = Md5Hex(credentials.db_password);
    const Text user_key = Md5Hex(credentials.user_password);
    const Text plaintext = kProtocolTag + request;

    // Only the user name travels in clear, so the server knows which user
    // key opens the inner layer.
    const bool with_user = !credentials.user.empty();
    if (with_user) {
      Text cipher = Trim(EncryptTextTwice(user_key, db_key, plaintext));
      WriteMessage(connection, u"UID:" + credentials.user + u"#" + cipher, message_limit);
    } else {
      WriteMessage(connection, Trim(EncryptText(db_key, plaintext)), message_limit);
    }

    Text reply = ReadMessage(connection, message_limit);
    connection.Close();
    if (reply.empty()) {
      // The server answers nothing to a request it cannot open.
      platform::ReportFailure("script request", host, port,
                              "empty reply (unknown user or wrong password?)");
      answer.clear();
    } else if (with_user) {
      answer = DecryptTextTwice(user_key, db_key, std::move(reply));
    } else {
      answer = DecryptText(db_key, std::move(reply));
    }
  } catch (...) {
    platform::ReportFailure("script request", host, port);
    answer = kNoneAnswer;
  }
  return Trim(answer);
}

}  // namespace qvn
