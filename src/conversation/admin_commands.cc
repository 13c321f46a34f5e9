#include "conversation/admin_commands.h"

#include "codecs/text_crypto.h"
#include "codecs/value_list.h"
#include "conversation/framing.h"
#include "conversation/probe.h"
#include "platform/debug_output.h"
#include "platform/socket.h"

namespace qvn {
namespace {

constexpr int32_t kChangePasswordProbeMs = 5000;

// UpperTrim(Md5Hex(EncryptText(key, text))), or empty when `text` is empty.
Text DigestField(const Text& key, const Text& text) {
  if (text.empty()) return Text();
  return UpperTrim(Md5Hex(EncryptText(key, text)));
}

}  // namespace

Text AdminToken(const Text& line) {
  const Text digest = Md5Hex(line);
  return EncryptText(digest, digest);
}

Text RunCommand(const Text& host, uint16_t port, int32_t probe_timeout_ms,
                const std::function<Text()>& build_request) {
  Text result = kConnectionError;
  if (port == 0) {
    platform::ReportFailure("command", host, port, "port 0: nothing is sent");
    return result;
  }
  if (!ProbeServer(host, port, probe_timeout_ms)) return result;
  try {
    platform::Connection connection = platform::Connection::Open(host, port);
    connection.EnableKeepAlive();
    // Built only now, so a request that cannot be built still costs one
    // connection opened and closed with nothing sent.
    const Text request = build_request();
    WriteMessage(connection, request);
    result = ReadMessage(connection);
    connection.Close();
  } catch (...) {
    platform::ReportFailure("command", host, port);
    result = kConnectionError;
  }
  return result;
}

Text ClearSync(const Text& host, uint16_t port, const Text& line, int32_t probe_timeout_ms) {
  return RunCommand(host, port, probe_timeout_ms,
                    [&] { return u"CLEARSYNC#" + AdminToken(line); });
}

Text BuildShow(const Text& host, uint16_t port, const Text& line, int32_t number, bool flag,
               int32_t probe_timeout_ms) {
  return RunCommand(host, port, probe_timeout_ms, [&] {
    return u"BUILD SHOW#" + DecimalText(number) + u"#" + (flag ? u"1" : u"0") + u"#" +
           AdminToken(line);
  });
}

Text QueryDbName(const Text& host, uint16_t port, int32_t probe_timeout_ms) {
  return RunCommand(host, port, probe_timeout_ms, [] { return Text(u"DBNAME#"); });
}

Text CheckDbPassword(const Text& host, uint16_t port, const Text& credentials,
                     int32_t probe_timeout_ms) {
  return RunCommand(host, port, probe_timeout_ms, [&] {
    const Text d = Trim(ValueFromString(credentials, 0, u"@"));
    const Text u = UpperTrim(ValueFromString(credentials, 1, u"@"));
    const Text w = Trim(ValueFromString(credentials, 2, u"@"));
    // A user name with no user password fails here: the cipher refuses the
    // empty key, and the exchange ends without sending anything.
    const Text p0 = DigestField(d, d);
    const Text p1 = DigestField(w, u);
    const Text p2 = DigestField(w, w);
    return u"CHKPSW#" + p0 + u"|" + p1 + u"|" + p2;
  });
}

Text ChangePassword(const Text& host, uint16_t port, const Text& db_password, const Text& user,
                    const Text& user_password, const Text& new_password) {
  return RunCommand(host, port, kChangePasswordProbeMs, [&] {
    return u"CHPASS#" + user + u"#" +
           EncryptTextTwice(Md5Hex(user_password), Md5Hex(db_password), new_password);
  });
}

}  // namespace qvn
