#include "request_port.h"

#include <ctime>

#include "base/text.h"
#include "codecs/text_crypto.h"
#include "text/letter_case.h"
#include "credentials.h"
#include "delivery.h"
#include "script_lang.h"

#ifndef QVN_SERVER_VERSION
#define QVN_SERVER_VERSION "0"
#endif

namespace qvn::server {
namespace {

constexpr char16_t kTag[] = u"QUARVEN_v1.0#";

bool StartsWith(TextView t, TextView prefix) { return t.substr(0, prefix.size()) == prefix; }

std::string Utf8(TextView t) { return TextToUtf8(t); }

// Ciphertext as the client sends it: whole groups of the Base64 alphabet.
bool LooksLikeBase64(TextView t) {
  if (t.empty() || t.size() % 4 != 0) return false;
  for (size_t i = 0; i < t.size(); ++i) {
    char16_t c = t[i];
    bool ok = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
              c == u'+' || c == u'/' || (c == u'=' && i + 2 >= t.size());
    if (!ok) return false;
  }
  return true;
}

// ...that decodes to whole cipher blocks.
bool LooksLikeCipher(TextView t) {
  if (!LooksLikeBase64(t)) return false;
  size_t pad = (t.back() == u'=') + (t.size() > 1 && t[t.size() - 2] == u'=');
  size_t bytes = t.size() / 4 * 3 - pad;
  return bytes > 0 && bytes % 16 == 0;
}

Reply Problem(Text text, std::string why) { return Reply{std::move(text), std::move(why)}; }

Reply ScriptRequest(Store& store, const Text& user_name, bool has_user, const Text& cipher,
                    const std::string& peer) {
  Text c = Trim(cipher);
  if (!LooksLikeCipher(c)) return Problem(Text(), "script request is not ciphertext");
  Text k_db = Md5Hex(store.db_password());
  Caller caller;
  caller.peer = peer;
  Text k_user;
  Text plain;
  if (has_user) {
    auto user = store.FindUser(user_name);
    if (!user) return Problem(Text(), "script request for unknown user '" + Utf8(user_name) + "'");
    k_user = Md5Hex(user->password);
    caller.has_user = true;
    caller.user = user->name;
    plain = DecryptTextTwice(k_user, k_db, c);
  } else {
    caller.user = u"(no user)";
    plain = DecryptText(k_db, c);
  }
  if (!StartsWith(plain, kTag)) {
    return Problem(Text(), "script request does not open with the server's keys (wrong password?)");
  }
  Text answer = RunScript(store, plain.substr(std::size(kTag) - 1), caller);
  return Reply{has_user ? EncryptTextTwice(k_user, k_db, answer) : EncryptText(k_db, answer), {}};
}

Reply ChangePassword(Store& store, TextView rest) {
  size_t hash = rest.rfind(u'#');
  if (hash == TextView::npos) return Problem(u"ERROR: CHPASS#USER#PASSWORD expected", "bad CHPASS");
  Text name(rest.substr(0, hash));
  Text e = Trim(rest.substr(hash + 1));
  auto user = store.FindUser(name);
  if (!user) return Problem(u"DENIED", "CHPASS for unknown user '" + Utf8(name) + "'");
  if (e.empty()) return Problem(u"ERROR: the new password must not be empty", "empty CHPASS");
  if (!LooksLikeCipher(e)) return Problem(u"DENIED", "CHPASS password is not ciphertext");
  Text inner = Md5Hex(user->password);
  Text outer = Md5Hex(store.db_password());
  // A wrong old password decrypts to noise: the outer layer then is no Base64,
  // or the result does not encrypt back to what was sent. Either way nothing
  // is stored, so a bad request cannot lock the user out.
  Text middle = DecryptText(outer, e);
  if (!LooksLikeCipher(middle)) return Problem(u"DENIED", "CHPASS under wrong keys");
  Text fresh = DecryptText(inner, middle);
  if (fresh.empty() || EncryptTextTwice(inner, outer, fresh) != e) {
    return Problem(u"DENIED", "CHPASS under wrong keys");
  }
  for (char16_t ch : fresh) {
    if (ch < 0x20 || ch == u'@' || (ch >= 0xD800 && ch <= 0xDFFF)) {
      return Problem(u"ERROR: the new password holds a character that cannot be used",
                     "CHPASS with unusable characters");
    }
  }
  if (Trim(fresh) != fresh) {
    return Problem(u"ERROR: the new password must not begin or end with blanks", "CHPASS blanks");
  }
  store.SetPassword(user->name, fresh);
  return Reply{u"OK", {}};
}

Text BuildText(Store& store, int32_t number, bool with_tables) {
  Text out = u"qvn-server " + Utf8ToText(QVN_SERVER_VERSION) + u" (built " +
             Utf8ToText(__DATE__ " " __TIME__) + u")\r\ndatabase: " + store.db_name();
  auto tables = store.Tables();
  if (with_tables) {
    out += u"\r\ntables: " + DecimalText(static_cast<int64_t>(tables.size()));
    for (const auto& [name, count] : tables) {
      out += u"\r\n  " + name + u": " + DecimalText(static_cast<int64_t>(count)) + u" records";
    }
  }
  std::vector<std::string> journal = store.Journal();
  out += u"\r\nchanges since CLEARSYNC: " + DecimalText(static_cast<int64_t>(journal.size()));
  size_t show = number < 0 ? journal.size() : std::min<size_t>(journal.size(), number);
  for (size_t i = journal.size() - show; i < journal.size(); ++i) {
    out += u"\r\n  " + Utf8ToText(journal[i]);
  }
  return out;
}

Reply BuildShow(Store& store, TextView rest) {
  // number#flag#token
  size_t h1 = rest.find(u'#');
  size_t h2 = h1 == TextView::npos ? TextView::npos : rest.find(u'#', h1 + 1);
  if (h2 == TextView::npos) return Problem(u"ERROR: BUILD SHOW#N#FLAG#TOKEN expected", "bad BUILD SHOW");
  std::string number = Utf8(rest.substr(0, h1));
  Text flag(rest.substr(h1 + 1, h2 - h1 - 1));
  bool numeric = !number.empty() && number.size() < 11 &&
                 number.find_first_not_of("-0123456789", 0) == std::string::npos &&
                 number.find('-', 1) == std::string::npos && number != "-";
  if (!numeric || (flag != u"0" && flag != u"1")) {
    return Problem(u"ERROR: BUILD SHOW#N#FLAG#TOKEN expected", "bad BUILD SHOW");
  }
  if (!FindAdminToken(store, rest.substr(h2 + 1))) return Problem(u"DENIED", "BUILD SHOW token unknown");
  long long n = std::stoll(number);
  if (n < INT32_MIN || n > INT32_MAX) return Problem(u"ERROR: number out of range", "bad BUILD SHOW");
  return Reply{BuildText(store, static_cast<int32_t>(n), flag == u"1"), {}};
}

Reply Message(Store& store, const Options& options, TextView rest) {
  if (StartsWith(rest, u"\r\n")) return Reply{DeliverToPipe(store, Text(rest.substr(2))), {}};
  if (StartsWith(rest, u"FILE#\r\n")) return Reply{DeliverToFile(store, Text(rest.substr(7))), {}};
  if (StartsWith(rest, u"TCP#")) {
    TextView r = rest.substr(4);
    size_t end = r.find(u"#\r\n");
    size_t colon = end == TextView::npos ? TextView::npos : r.rfind(u':', end);
    if (colon == TextView::npos) return Problem(u"ERROR: MESSAGE#TCP#HOST:PORT# expected", "bad MESSAGE#TCP");
    std::string host = Utf8(r.substr(0, colon));
    std::string port = Utf8(r.substr(colon + 1, end - colon - 1));
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(port) > 65535) {
      return Problem(u"ERROR: bad receiver port", "bad MESSAGE#TCP");
    }
    Text answer = DeliverByTcp(host, static_cast<uint16_t>(std::stoul(port)), Text(r.substr(end + 3)),
                               options.allow_remote_delivery, std::min(options.timeout_ms, 10000));
    return Reply{answer, answer == u"OK" ? std::string() : "TCP delivery: " + Utf8(answer)};
  }
  return Problem(u"ERROR: unknown message channel", "bad MESSAGE#");
}

Reply UserAuth(Store& store, TextView digest) {
  auto user = FindUserKeyDigest(store, digest);
  // Without a user there is no key to answer under: the empty reply says no.
  if (!user) return Problem(Text(), "USERAUTH for no known user");
  Text key = Trim(UpperTrim(user->name) + user->password);
  return Reply{EncryptText(key, u"OK " + user->name), {}};
}

}  // namespace

Reply HandleRequest(Store& store, const Options& options, const Text& payload,
                    const std::string& peer) {
  try {
    if (payload == u"DBNAME#") return Reply{store.db_name(), {}};
    if (StartsWith(payload, u"CHKPSW#")) {
      Text r = CheckPasswordDigests(store, TextView(payload).substr(7));
      return Reply{r, r == u"OK" ? std::string() : "CHKPSW: " + Utf8(r)};
    }
    if (StartsWith(payload, u"CHPASS#")) return ChangePassword(store, TextView(payload).substr(7));
    if (StartsWith(payload, u"CLEARSYNC#")) {
      if (!FindAdminToken(store, TextView(payload).substr(10))) {
        return Problem(u"DENIED", "CLEARSYNC token unknown");
      }
      size_t n = store.ClearJournal();
      return Reply{u"OK " + DecimalText(static_cast<int64_t>(n)) + u" changes cleared", {}};
    }
    if (StartsWith(payload, u"BUILD SHOW#")) return BuildShow(store, TextView(payload).substr(11));
    if (StartsWith(payload, u"MESSAGE#")) return Message(store, options, TextView(payload).substr(8));
    if (StartsWith(payload, u"USERAUTH:")) return UserAuth(store, TextView(payload).substr(9));
    if (StartsWith(payload, u"UID:")) {
      // The ciphertext holds no "#", so the last one ends the user name.
      size_t hash = payload.rfind(u'#');
      if (hash == Text::npos || hash < 4) return Problem(u"ERROR: UID:USER#CIPHERTEXT expected", "bad UID");
      return ScriptRequest(store, payload.substr(4, hash - 4), true, payload.substr(hash + 1), peer);
    }
    if (LooksLikeCipher(Trim(payload))) return ScriptRequest(store, Text(), false, payload, peer);
  } catch (const std::exception& e) {
    return Problem(u"ERROR: " + Utf8ToText(e.what()), std::string("failed: ") + e.what());
  }
  Text head = payload.substr(0, 24);
  return Problem(u"ERROR: unknown request", "unknown request '" + Utf8(head) + "'");
}

}  // namespace qvn::server
