// How the server recognises its users in the forms the client sends: password
// check digests, administrative tokens, user-key digests and the credentials
// lines that key file transfers.
#ifndef QVN_SERVER_CREDENTIALS_H_
#define QVN_SERVER_CREDENTIALS_H_

#include <optional>
#include <vector>

#include "base/text.h"
#include "store.h"

namespace qvn::server {

// A credentials line the server would accept as the first line of a script.
struct CredentialsLine {
  Text line;
  bool has_user = false;
  Text user;  // the stored user name
};

// For every user "dbpassword@name@password" (name as stored, upper- and
// lower-case), then the lines without a user: "dbpassword@@", "dbpassword@",
// "dbpassword". The client digests its line exactly as typed, so these are
// the spellings the server can recognise.
std::vector<CredentialsLine> KnownCredentialsLines(const Store& store);

// "OK" when the three digests of a CHKPSW request match the database password
// and (when given) one user; "DENIED" otherwise; "ERROR: ..." when malformed.
Text CheckPasswordDigests(const Store& store, TextView fields);

// The credentials line whose AdminToken the token is, if any.
std::optional<CredentialsLine> FindAdminToken(const Store& store, TextView token);

// The user whose UpperTrim(Md5Hex(UpperTrim(name) + password)) the digest is.
std::optional<User> FindUserKeyDigest(const Store& store, TextView digest);

}  // namespace qvn::server

#endif  // QVN_SERVER_CREDENTIALS_H_
