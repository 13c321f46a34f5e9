// tests/support/timeout_values.tsv, the one table of time-out variable values
// that the library's parser, qvn and every binding run through their own rule.
#ifndef QVN_TESTS_SUPPORT_TIMEOUT_VALUES_H_
#define QVN_TESTS_SUPPORT_TIMEOUT_VALUES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qvn::testing {

struct TimeoutValue {
  std::string value;          // as set (UTF-8)
  std::optional<int32_t> ms;  // the bound (0: no limit); none: malformed
};

std::vector<TimeoutValue> LoadTimeoutValues();

}  // namespace qvn::testing

#endif  // QVN_TESTS_SUPPORT_TIMEOUT_VALUES_H_
