// The user's files and the environment, in UTF-8 on both systems: names and
// values outside any ANSI code page survive the way in and out, and a file
// unfit for passwords is told apart from one that is fit or missing.
#include "platform/user_files.h"

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/environment.h"
#include "support/temp_file.h"

namespace qvn::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kName[] = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x9C\x93 \xF0\x9F\x98\x80";  // "Grüße ✓ 😀"

TEST(UserFilesTest, Utf8NamesSurviveTheWayInAndOut) {
  TempFolder folder;
  // Joined here: a narrow std::filesystem::path is the ANSI code page's on Windows.
  const std::string path = folder.path() + "/" + kName;
  ASSERT_TRUE(platform::AppendToPrivateFile(path, "one\n"));
  ASSERT_TRUE(platform::AppendToPrivateFile(path, "two\n"));
  std::ifstream in(platform::PathOfUtf8(path), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "one\ntwo\n");
  std::string listed;
  for (const fs::directory_entry& e : fs::directory_iterator(platform::PathOfUtf8(folder.path()))) {
    listed += platform::Utf8OfPath(e.path().filename());
  }
  EXPECT_EQ(listed, kName);
}

TEST(UserFilesTest, PrivateFileProblems) {
  TempFolder folder;
  bool exists = true;
  EXPECT_EQ(platform::PrivateFileProblem(folder.File("missing"), exists), "");
  EXPECT_FALSE(exists);
  const std::string made = folder.File("made");
  ASSERT_TRUE(platform::AppendToPrivateFile(made, "x"));  // made as the user's alone
  EXPECT_EQ(platform::PrivateFileProblem(made, exists), "");
  EXPECT_TRUE(exists);
  fs::create_directory(platform::PathOfUtf8(folder.File("sub")));
  EXPECT_EQ(platform::PrivateFileProblem(folder.File("sub"), exists), "is not a plain file");
  EXPECT_TRUE(exists);
}

TEST(EnvironmentTest, SetValuesAreFoundAndUnsetOnesAreNot) {
  const char* name = "QVN_TEST_ENVIRONMENT_VALUE";
  EXPECT_EQ(platform::FindEnvironmentValue(name), std::nullopt);
  platform::SetEnvironmentValue(name, kName);
  EXPECT_EQ(platform::FindEnvironmentValue(name), kName);
  EXPECT_EQ(platform::EnvironmentValue(name), kName);
  platform::SetEnvironmentValue(name, "");
  EXPECT_EQ(platform::FindEnvironmentValue(name), "");
}

}  // namespace
}  // namespace qvn::testing
