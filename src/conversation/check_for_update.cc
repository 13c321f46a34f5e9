#include "conversation/check_for_update.h"

#include <optional>

#include "base/whole_number.h"
#include "codecs/value_list.h"
#include "codecs/version_text.h"
#include "conversation/script_request.h"

namespace qvn {

bool CheckForUpdateWithVersion(const Text& own_version, const Text& host, uint16_t port,
                               const Text& credentials, const Text& table, int32_t search_field,
                               const Text& search_text, int32_t version_field) {
  const Text version = Trim(own_version);
  const Text select = credentials + u"\rselect " + table + u"[text, " +
                      DecimalText(search_field) + u", 1, " + search_text + u", i]-\r";
  // SendScript never raises: a failed exchange is "NONE", which is no number.
  const Text found = Trim(SendScript(host, port, select));
  const std::optional<int64_t> record = ParseWholeNumber(ValueFromString(found, 0, u"="));
  if (!record) return false;

  const Text get = credentials + u"\rget " + table + u"[" + DecimalText(version_field) + u"," +
                   DecimalText(*record) + u"]-\r";
  const Text stored = Trim(SendScript(host, port, get));
  // Exact comparison: any other answer, error words included, means an update.
  return stored != version;
}

bool CheckForUpdate(const Text& host, uint16_t port, const Text& credentials, const Text& table,
                    int32_t search_field, const Text& search_text, int32_t version_field) {
  // Formed before anything is sent: without it there is nothing to compare.
  const Text own_version = HostVersionText();
  return CheckForUpdateWithVersion(own_version, host, port, credentials, table, search_field,
                                   search_text, version_field);
}

}  // namespace qvn
