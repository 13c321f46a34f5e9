#include "codecs/version_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>

#include "base/errors.h"
#include "platform/executable_path.h"
#include "support/exe_images.h"
#include "support/temp_file.h"

namespace qvn::testing {
namespace {

// Set in tests/CMakeLists.txt with qvn_set_product_version.
constexpr char16_t kOwnVersion[] = u"3.0.65535.7";

Text HelperProgram() {
  std::filesystem::path dir = std::filesystem::path(platform::ExecutablePath()).parent_path();
#ifdef _WIN32
  return (dir / "qvn_version_helper.exe").u16string();
#else
  return (dir / "qvn_version_helper").u16string();
#endif
}

uint32_t ErrorCodeOf(const Text& file) {
  try {
    VersionText(file);
  } catch (const PlatformError& e) {
    return e.code();
  }
  ADD_FAILURE() << "no PlatformError";
  return 0;
}

TEST(VersionTextTest, HostProgramGivesItsOwnProductVersion) {
  EXPECT_EQ(HostVersionText(), kOwnVersion);
  EXPECT_EQ(VersionText(platform::ExecutablePath()), kOwnVersion);
}

TEST(VersionTextTest, ReadsTheProductVersionNotTheFileVersion) {
  EXPECT_EQ(VersionText(HelperProgram()), u"1.2.0.15");
}

TEST(VersionTextTest, WindowsImageFileGivesItsProductVersion) {
  TempFile dll(".dll", BuildPe(true, {9, 8, 7, 6}, {65535, 0, 65535, 1}));
  EXPECT_EQ(VersionText(dll.name()), u"65535.0.65535.1");
  TempFile zero(".dll", BuildPe(true, {1, 1, 1, 1}, {0, 0, 0, 0}));
  EXPECT_EQ(VersionText(zero.name()), u"0.0.0.0");
}

TEST(VersionTextTest, NoVersionInformationRaisesThePlatformError) {
  TempFile bare(".dll", BuildPe(false, {1, 2, 3, 4}, {1, 2, 3, 4}));
  EXPECT_NE(ErrorCodeOf(bare.name()), 0u);
  TempFile text(".txt", Bytes{'j', 'u', 's', 't', ' ', 't', 'e', 'x', 't'});
  EXPECT_NE(ErrorCodeOf(text.name()), 0u);
  TempFile empty(".dll", Bytes{});
  EXPECT_NE(ErrorCodeOf(empty.name()), 0u);
  // ENOENT and ERROR_FILE_NOT_FOUND are both 2.
  TempFolder folder;
  EXPECT_EQ(ErrorCodeOf(std::filesystem::path(folder.File("missing.dll")).u16string()), 2u);
  EXPECT_THROW(VersionText(u""), PlatformError);
}

#ifndef _WIN32
TEST(VersionTextTest, ElfFilesCarryTheirVersionInASectionAndErrorsCarryErrno) {
  TempFile marked("", BuildElf(true, false, {4, 0, 65535, 12}));
  EXPECT_EQ(VersionText(marked.name()), u"4.0.65535.12");
  TempFile unmarked("", BuildElf(true, false, {4, 0, 1, 12}, ".data"));
  EXPECT_EQ(ErrorCodeOf(unmarked.name()), uint32_t{ENODATA});
  TempFile text(".txt", Bytes{'M', 'Y'});
  EXPECT_EQ(ErrorCodeOf(text.name()), uint32_t{ENOEXEC});
  EXPECT_EQ(ErrorCodeOf(std::filesystem::temp_directory_path().u16string()), uint32_t{EISDIR});
}
#endif

TEST(CurrentMillisecondTest, IsTheMillisecondOfTheClock) {
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  auto ms_now = [] {
    auto t = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<int>(duration_cast<milliseconds>(t).count() % 1000);
  };
  for (int i = 0; i < 2000; ++i) {
    int before = ms_now();
    int v = CurrentMillisecond();
    int after = ms_now();
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 999);
    // before <= v <= after on the 1000-millisecond circle, with a little
    // room for a coarser system clock tick.
    int span = (after - before + 1000) % 1000;
    int from_before = (v - before + 1000 + 20) % 1000;
    EXPECT_LE(from_before, span + 40) << before << " " << v << " " << after;
  }
}

}  // namespace
}  // namespace qvn::testing
