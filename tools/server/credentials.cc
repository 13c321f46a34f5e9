#include "credentials.h"

#include "base/text.h"
#include "codecs/text_crypto.h"
#include "text/letter_case.h"

namespace qvn::server {
namespace {

Text Lower(TextView t) {
  Text out(t);
  for (char16_t& c : out) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return out;
}

// UpperTrim(Md5Hex(EncryptText(key, text))), empty when the key is.
Text CheckDigest(const Text& key, const Text& text) {
  if (key.empty()) return Text();
  return UpperTrim(Md5Hex(EncryptText(key, text)));
}

Text AdminTokenOf(const Text& line) {
  Text digest = Md5Hex(line);
  return EncryptText(digest, digest);
}

}  // namespace

std::vector<CredentialsLine> KnownCredentialsLines(const Store& store) {
  Text db = store.db_password();
  std::vector<CredentialsLine> out;
  for (const User& u : store.users()) {
    for (const Text& name : {u.name, UpperCase(u.name), Lower(u.name)}) {
      Text line = db + u"@" + name + u"@" + u.password;
      bool seen = false;
      for (const CredentialsLine& c : out) seen = seen || c.line == line;
      if (!seen) out.push_back(CredentialsLine{line, true, u.name});
    }
  }
  for (const Text& line : {db + u"@@", db + u"@", db}) {
    out.push_back(CredentialsLine{line, false, Text()});
  }
  return out;
}

Text CheckPasswordDigests(const Store& store, TextView fields) {
  size_t bar1 = fields.find(u'|');
  size_t bar2 = bar1 == TextView::npos ? TextView::npos : fields.find(u'|', bar1 + 1);
  if (bar2 == TextView::npos || fields.find(u'|', bar2 + 1) != TextView::npos) {
    return u"ERROR: CHKPSW#P0|P1|P2 expected";
  }
  Text p0 = UpperTrim(fields.substr(0, bar1));
  Text p1 = UpperTrim(fields.substr(bar1 + 1, bar2 - bar1 - 1));
  Text p2 = UpperTrim(fields.substr(bar2 + 1));
  Text db = Trim(store.db_password());
  if (p0.empty() || p0 != CheckDigest(db, db)) return u"DENIED";
  if (p1.empty() && p2.empty()) return u"OK";
  for (const User& u : store.users()) {
    Text w = Trim(u.password);
    if (w.empty()) continue;
    if (p1 == CheckDigest(w, UpperTrim(u.name)) && p2 == CheckDigest(w, w)) return u"OK";
  }
  return u"DENIED";
}

std::optional<CredentialsLine> FindAdminToken(const Store& store, TextView token) {
  Text t = Trim(token);
  if (t.empty()) return std::nullopt;
  for (const CredentialsLine& c : KnownCredentialsLines(store)) {
    if (AdminTokenOf(c.line) == t) return c;
  }
  return std::nullopt;
}

std::optional<User> FindUserKeyDigest(const Store& store, TextView digest) {
  Text d = UpperTrim(digest);
  if (d.size() != 32) return std::nullopt;
  for (const User& u : store.users()) {
    Text key = Trim(UpperTrim(u.name) + u.password);
    if (!key.empty() && UpperTrim(Md5Hex(key)) == d) return u;
  }
  return std::nullopt;
}

}  // namespace qvn::server
