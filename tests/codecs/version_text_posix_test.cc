#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "base/errors.h"
#include "codecs/version_text.h"
#include "support/exe_images.h"
#include "support/temp_file.h"

namespace qvn::testing {
namespace {

uint32_t ErrorCodeOf(const Text& file) {
  try {
    VersionText(file);
  } catch (const PlatformError& e) {
    return e.code();
  }
  ADD_FAILURE() << "no PlatformError";
  return 0;
}

TEST(VersionTextPosixTest, ElfFilesCarryTheirVersionInASection) {
  testing::TempFile marked("", testing::BuildElf(true, false, {4, 0, 65535, 12}));
  EXPECT_EQ(VersionText(marked.name()), u"4.0.65535.12");
  testing::TempFile unmarked("", testing::BuildElf(true, false, {4, 0, 1, 12}, ".data"));
  EXPECT_EQ(ErrorCodeOf(unmarked.name()), uint32_t{ENODATA});
}

TEST(VersionTextPosixTest, ErrorsCarryErrno) {
  testing::TempFile text(".txt", Bytes{'M', 'Y'});
  EXPECT_EQ(ErrorCodeOf(text.name()), uint32_t{ENOEXEC});
  EXPECT_EQ(ErrorCodeOf(std::filesystem::temp_directory_path().u16string()), uint32_t{EISDIR});
}

}  // namespace
}  // namespace qvn::testing
