#include "platform/case_map.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

namespace qvn::testing {
namespace {

// The host may run in the "C" locale, where towupper() knows ASCII only. The
// table is filled here, under that locale, not taken from the library's cache
// (which may have been built before).
TEST(CaseMapPosix, IndependentOfTheProcessLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "C");
  std::vector<char16_t> upper(65536);
  platform::FillUpperCase(upper.data());
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(upper[0x00E9], 0x00C9);
  EXPECT_EQ(upper[0x03B1], 0x0391);
  EXPECT_EQ(upper[0x0436], 0x0416);
  EXPECT_EQ(upper[0x0101], 0x0100);
}

}  // namespace
}  // namespace qvn::testing
