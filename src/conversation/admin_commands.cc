#include "conversation/admin_commands.h"

#include "codecs/text_crypto.h"
#include "codecs/value_list.h"
#include "conversation/exchange.h"
#include "conversation/probe_timeouts.h"

namespace qvn {
namespace {

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
  return Exchange(host, port, {.what = "command", .probe_ms = probe_timeout_ms}, build_request)
      .value_or(kConnectionError);
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
  // CHPASS has no time-out of its own: it probes as the exports do.
  return RunCommand(host, port, kExportProbeMs, [&] {
    return u"CHPASS#" + user + u"#" +
           EncryptTextTwice(Md5Hex(user_password), Md5Hex(db_password), new_password);
  });
}

}  // namespace qvn
