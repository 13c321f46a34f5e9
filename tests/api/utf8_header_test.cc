// include/qvn_utf8.h against CPython's codecs: a table of valid and invalid
// UTF-8 and UTF-16 (tests/data/make_utf8_vectors.py), on both platforms.
#include "qvn_utf8.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/crypto_vectors.h"

namespace qvn::testing {
namespace {

struct Conversion {
  bool decode;         // D: UTF-8 in; E: UTF-16 in
  std::string input;   // hex, "-" for empty
  std::string output;  // hex, "-" for empty
  int line;
};

std::vector<Conversion> ReadConversions() {
  std::ifstream in(QVN_TEST_DATA_DIR "/utf8_vectors.txt");
  std::vector<Conversion> out;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Conversion c;
    std::string kind;
    fields >> kind >> c.input >> c.output;
    c.decode = kind == "D";
    c.line = n;
    out.push_back(c);
  }
  return out;
}

std::string Hex8(const std::string& hex) {
  const Bytes b = FromHex(hex == "-" ? "" : hex);
  return std::string(b.begin(), b.end());
}

std::basic_string<qvn_char> Hex16(const std::string& hex) {
  const Text t = TextFromHex(hex == "-" ? "" : hex);
  return std::basic_string<qvn_char>(t.begin(), t.end());
}

TEST(Utf8HeaderTest, AgreesWithPythonOnEveryVector) {
  const std::vector<Conversion> table = ReadConversions();
  ASSERT_GE(table.size(), 500u);
  for (const Conversion& c : table) {
    SCOPED_TRACE("utf8_vectors.txt line " + std::to_string(c.line));
    if (c.decode) {
      qvn_char* text = qvn_from_utf8(Hex8(c.input).c_str());
      ASSERT_NE(text, nullptr);
      EXPECT_EQ(std::basic_string<qvn_char>(text), Hex16(c.output));
      free(text);
    } else {
      const std::basic_string<qvn_char> in = Hex16(c.input);
      char* utf8 = qvn_to_utf8(in.c_str());
      ASSERT_NE(utf8, nullptr);
      EXPECT_EQ(std::string(utf8), Hex8(c.output));
      free(utf8);
    }
  }
}

TEST(Utf8HeaderTest, NullInAndLibraryResults) {
  qvn_char* empty = qvn_from_utf8(nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], 0);
  free(empty);
  char* none = qvn_to_utf8(nullptr);
  ASSERT_NE(none, nullptr);
  EXPECT_STREQ(none, "");
  free(none);

  // A library result goes through ScriptFree, the empty result included.
  qvn_char* source = qvn_from_utf8("Grüße, {✓}");
  char* escaped = qvn_take_utf8(DataEncode(source));
  EXPECT_STREQ(escaped, "Grüße&#44; &#123;✓&#125;");
  free(escaped);
  char* nothing = qvn_take_utf8(DataEncode(nullptr));
  EXPECT_STREQ(nothing, "");
  free(nothing);
  free(source);
}

}  // namespace
}  // namespace qvn::testing
