#include "base/executable_version.h"

#include <gtest/gtest.h>

#include "support/exe_images.h"

namespace qvn::testing {
namespace {

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

// A cut image gives either no version or the true one (byte damage is left
// to fuzz/executable_version_fuzz.cc).
TEST(ExecutableVersionTest, CutImagesGiveNoneOrTheTrueVersion) {
  const ProductVersion truth{1, 2, 0, 15};
  const struct {
    Bytes image;
    std::optional<ProductVersion> (*read)(const ImageReader&);
  } cases[] = {{BuildPe(true, {9, 9, 9, 9}, {1, 2, 0, 15}), PeProductVersion},
               {BuildElf(true, false, {1, 2, 0, 15}), ElfProductVersion},
               {BuildElf(false, true, {1, 2, 0, 15}), ElfProductVersion}};
  for (const auto& c : cases) {
    for (size_t n = 0; n < c.image.size(); ++n) {
      Bytes cut(c.image.begin(), c.image.begin() + n);
      auto v = c.read(MemoryImage(cut));
      if (v) {
        EXPECT_EQ(*v, truth) << "cut at " << n;
      }
    }
  }
}

}  // namespace
}  // namespace qvn::testing
