#include "codecs/version_text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "base/errors.h"
#include "platform/executable_version.h"
#include "platform/version_info.h"
#include "support/exe_images.h"
#include "support/temp_file.h"

namespace qvn {
namespace {

using platform::ElfProductVersion;
using platform::ImageReader;
using platform::MemoryImage;
using platform::PeProductVersion;
using platform::ProductVersion;
using test::BuildElf;
using test::BuildPe;
using test::TempFile;

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
  Text missing = test::TempFile(".dll", Bytes{}).name();  // removed again at once
  EXPECT_EQ(ErrorCodeOf(missing), 2u);
  EXPECT_THROW(VersionText(u""), PlatformError);
}

TEST(ExecutableVersionTest, ReadsPeAndElfImagesOfEitherClassAndByteOrder) {
  Bytes pe = BuildPe(true, {5, 6, 7, 8}, {1, 2, 0, 15});
  EXPECT_EQ(PeProductVersion(MemoryImage(pe)), (ProductVersion{1, 2, 0, 15}));
  for (bool wide : {true, false}) {
    for (bool big : {false, true}) {
      Bytes elf = BuildElf(wide, big, {65535, 4, 0, 258});
      EXPECT_EQ(ElfProductVersion(MemoryImage(elf)), (ProductVersion{65535, 4, 0, 258}))
          << wide << big;
    }
  }
}

TEST(ExecutableVersionTest, ImagesWithoutTheRecordGiveNone) {
  EXPECT_FALSE(PeProductVersion(MemoryImage(BuildPe(false, {}, {1, 2, 3, 4}))));
  EXPECT_FALSE(ElfProductVersion(MemoryImage(BuildElf(true, false, {1, 2, 3, 4}, ".qvn_versio"))));
  EXPECT_FALSE(ElfProductVersion(MemoryImage(BuildElf(true, false, {1, 2, 3, 4}, ".qvn_version2"))));
  EXPECT_FALSE(ElfProductVersion(MemoryImage(BuildElf(true, false, {1, 2, 3, 4}, ".qvn_version",
                                                      "QVNPRVEX"))));
  // Each reader refuses the other's format.
  EXPECT_FALSE(ElfProductVersion(MemoryImage(BuildPe(true, {}, {1, 2, 3, 4}))));
  EXPECT_FALSE(PeProductVersion(MemoryImage(BuildElf(true, false, {1, 2, 3, 4}))));
}

// A hostile file must give either no version or the true one, and never
// read outside the image (the reader checks every range; run under
// QVN_SANITIZE to see it).
void Torture(const Bytes& good, std::optional<ProductVersion> (*read)(const ImageReader&),
             ProductVersion truth) {
  for (size_t n = 0; n < good.size(); ++n) {
    Bytes cut(good.begin(), good.begin() + n);
    auto v = read(MemoryImage(cut));
    if (v) {
      EXPECT_EQ(*v, truth) << "cut at " << n;
    }
  }
  for (size_t i = 0; i < good.size(); ++i) {
    for (uint8_t x : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0x80}, uint8_t{0x7F}, uint8_t{0x01}}) {
      Bytes bad = good;
      bad[i] = x;
      read(MemoryImage(bad));  // any answer; no crash, no hang
    }
  }
}

TEST(ExecutableVersionTest, DamagedImagesNeverCrashTheReader) {
  Torture(BuildPe(true, {9, 9, 9, 9}, {1, 2, 0, 15}), PeProductVersion, {1, 2, 0, 15});
  Torture(BuildElf(true, false, {1, 2, 0, 15}), ElfProductVersion, {1, 2, 0, 15});
  Torture(BuildElf(false, true, {1, 2, 0, 15}), ElfProductVersion, {1, 2, 0, 15});
}

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
}  // namespace qvn
