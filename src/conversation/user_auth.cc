#include "conversation/user_auth.h"

#include <limits>
#include <optional>

#include "codecs/text_crypto.h"
#include "codecs/value_list.h"
#include "codecs/version_text.h"
#include "conversation/admin_commands.h"
#include "conversation/framing.h"
#include "conversation/script_request.h"
#include "platform/debug_output.h"
#include "platform/socket.h"

namespace qvn {
namespace {

// A signed 32-bit decimal number: an optional sign, then digits only.
std::optional<int32_t> WholeNumber(const Text& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
    negative = text[i] == u'-';
    ++i;
  }
  if (i == text.size()) return std::nullopt;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < u'0' || text[i] > u'9') return std::nullopt;
    value = value * 10 + (text[i] - u'0');
    if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(value);
}

}  // namespace

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

bool CheckForUpdateWithVersion(const Text& own_version, const Text& host, uint16_t port,
                               const Text& credentials, const Text& table, int32_t search_field,
                               const Text& search_text, int32_t version_field) {
  try {
    const Text version = Trim(own_version);
    const Text select = credentials + u"\rselect " + table + u"[text, " +
                        DecimalText(search_field) + u", 1, " + search_text + u", i]-\r";
    const Text found = Trim(SendScript(host, port, select));
    const std::optional<int32_t> record = WholeNumber(ValueFromString(found, 0, u"="));
    if (!record) return false;

    const Text get = credentials + u"\rget " + table + u"[" + DecimalText(version_field) + u"," +
                     DecimalText(*record) + u"]-\r";
    const Text stored = Trim(SendScript(host, port, get));
    // Exact comparison: any other answer, error words included, means an update.
    return stored != version;
  } catch (...) {
    platform::ReportFailure("update check", host, port);
    return false;
  }
}

bool CheckForUpdate(const Text& host, uint16_t port, const Text& credentials, const Text& table,
                    int32_t search_field, const Text& search_text, int32_t version_field) {
  Text own_version;
  try {
    // Formed before anything is sent: without it there is nothing to compare.
    own_version = HostVersionText();
  } catch (...) {
    platform::ReportFailure("product version of the host program");
    return false;
  }
  return CheckForUpdateWithVersion(own_version, host, port, credentials, table, search_field,
                                   search_text, version_field);
}

}  // namespace qvn
