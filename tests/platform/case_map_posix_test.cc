#include "platform/case_map.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "base/text.h"

namespace qvn::testing {
namespace {

// The host may run in the "C" locale, where towupper() knows ASCII only.
TEST(CaseMapPosix, IndependentOfTheProcessLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(UpperCase(u"\u00E9\u03B1\u0436"), u"\u00C9\u0391\u0416");
  EXPECT_EQ(platform::UpperCaseTable()[0x0101], 0x0100);
  std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
}  // namespace qvn::testing
