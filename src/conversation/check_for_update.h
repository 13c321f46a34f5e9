#ifndef QVN_CONVERSATION_CHECK_FOR_UPDATE_H_
#define QVN_CONVERSATION_CHECK_FOR_UPDATE_H_

#include <cstdint>

#include "base/text.h"

namespace qvn {

// The worker of UpdateIsAvailable. True when the version stored in the
// database differs from the host
// program's own. Raises, with nothing sent, when the own version cannot be
// formed (the export answers false).
bool CheckForUpdate(const Text& host, uint16_t port, const Text& credentials, const Text& table,
                    int32_t search_field, const Text& search_text, int32_t version_field);

// CheckForUpdate's two queries, compared against the given own version text.
bool CheckForUpdateWithVersion(const Text& own_version, const Text& host, uint16_t port,
                               const Text& credentials, const Text& table, int32_t search_field,
                               const Text& search_text, int32_t version_field);

}  // namespace qvn

#endif  // QVN_CONVERSATION_CHECK_FOR_UPDATE_H_
