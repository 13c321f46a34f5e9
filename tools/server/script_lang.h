// The server's small script language (one statement per line after the
// credentials line); tools/server/README.md describes it.
#ifndef QVN_SERVER_SCRIPT_LANG_H_
#define QVN_SERVER_SCRIPT_LANG_H_

#include <string>

#include "base/text.h"
#include "store.h"

namespace qvn::server {

struct Caller {
  bool has_user = false;  // requests without a user may only read
  Text user;
  std::string peer;
};

// Runs every statement of the request text (whose first line, the credentials
// line, is skipped) and returns their answers joined by CR LF.
Text RunScript(Store& store, const Text& request_text, const Caller& caller);

// One statement; its answer (never empty).
Text RunStatement(Store& store, TextView statement, const Caller& caller);

}  // namespace qvn::server

#endif  // QVN_SERVER_SCRIPT_LANG_H_
