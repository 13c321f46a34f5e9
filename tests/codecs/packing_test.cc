#include "codecs/packing.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/errors.h"
#include "codecs/base64.h"
#include "platform/codepage.h"

namespace qvn::testing {
namespace {

Text FromHex(const std::string& hex) {
  Text out;
  if (hex == "-") return out;
  for (size_t i = 0; i + 4 <= hex.size(); i += 4) {
    const unsigned lo = std::stoul(hex.substr(i, 2), nullptr, 16);
    const unsigned hi = std::stoul(hex.substr(i + 2, 2), nullptr, 16);
    out += static_cast<char16_t>(lo | (hi << 8));
  }
  return out;
}

struct Vector {
  bool pack;  // both directions, or UnPackString only
  Text input, packed, unpacked;
  int line;
};

std::vector<Vector> ReadVectors() {
  std::ifstream in(QVN_TEST_DATA_DIR "/packing_vectors.txt");
  std::vector<Vector> out;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string kind, input, packed, unpacked;
    std::getline(fields, kind, '\t');
    std::getline(fields, input, '\t');
    std::getline(fields, packed, '\t');
    std::getline(fields, unpacked, '\t');
    out.push_back({kind == "P", FromHex(input), Latin1ToText(packed), FromHex(unpacked), n});
  }
  return out;
}

Bytes B(std::initializer_list<int> v) {
  Bytes out;
  for (int x : v) out.push_back(static_cast<uint8_t>(x));
  return out;
}

TEST(Packing, KnownAnswersFromAnIndependentEncoder) {
  const auto vectors = ReadVectors();
  ASSERT_GE(vectors.size(), 15u);
  for (const Vector& v : vectors) {
    if (v.pack) {
      EXPECT_EQ(PackString(v.input), v.packed) << "line " << v.line;
    }
    EXPECT_EQ(UnPackString(v.packed), v.unpacked) << "line " << v.line;
  }
}

TEST(Packing, EmptyAndSingleLetter) {
  EXPECT_EQ(PackString(u""), u"eNoDAAAAAAE=");
  EXPECT_EQ(PackString(u" \t\r\n "), u"eNoDAAAAAAE=");
  EXPECT_EQ(UnPackString(u"eNoDAAAAAAE="), u"");
  // An 11-byte stream: the last byte of the checksum does not travel.
  EXPECT_EQ(PackString(u"a"), u"eNpL5OUCAAFKAA==");
  EXPECT_EQ(UnPackString(u"eNpL5OUCAAFKAA=="), u"a");
}

TEST(Packing, LineBreaksBecomeCrLf) {
  EXPECT_EQ(PackString(u"x\ny"), PackString(u"x\r\ny"));
  EXPECT_EQ(PackString(u"x\ry"), PackString(u"x\r\ny"));
  EXPECT_EQ(UnPackString(PackString(u"x\ny")), u"x\r\ny");
}

// Streams packed elsewhere may hold lone CR or LF, blanks at either end and
// a NUL: the unpacked text is the trimmed line list, as for any other text.
TEST(Packing, UnpackedStreamsBecomeTrimmedLineLists) {
  const struct {
    std::string raw;
    Text text;
  } cases[] = {
      {"\n\t a\rb\nc\r\n\r\rd \r", u"a\r\nb\r\nc\r\n\r\n\r\nd"},
      {"\r\r\n\n", u""},
      {"x\ny\0z\rw", u"x\r\ny"},
      {"\ra\n", u"a"},
      {"plain", u"plain"},
  };
  for (const auto& c : cases) {
    Bytes b(c.raw.begin(), c.raw.end());
    CompressBuffer(b);
    EXPECT_EQ(UnPackString(Base64EncodeBytes(b)), c.text) << c.raw;
  }
}

TEST(Packing, PackedTextIsOneTrimmedLine) {
  std::mt19937 rng(3);
  Text text;
  for (int i = 0; i < 2000; ++i) text += static_cast<char16_t>(u' ' + rng() % 95) + Text(u"\r\n");
  const Text packed = PackString(text);
  EXPECT_EQ(packed.find_first_of(u"\r\n \t"), Text::npos);
  EXPECT_EQ(UnPackString(packed), Trim(text));
}

TEST(Packing, UnpacksDespiteSurroundingBlanksAndFinalLineBreak) {
  const Text packed = PackString(u"some text\r\nmore");
  EXPECT_EQ(UnPackString(packed + u"\r\n"), u"some text\r\nmore");
  EXPECT_EQ(UnPackString(u"  \t" + packed + u"  "), u"some text\r\nmore");
}

TEST(Packing, TextThatIsNotPackedComesBackTrimmed) {
  EXPECT_EQ(UnPackString(u"  hello  "), u"hello");
  EXPECT_EQ(UnPackString(u"  one\ntwo\rthree  "), u"one\r\ntwo\r\nthree");
  EXPECT_EQ(UnPackString(Text(u"cut\0here", 8)), u"cut");
  EXPECT_EQ(UnPackString(u""), u"");
}

TEST(Packing, LineBreakInsidePackedTextSpoilsIt) {
  Text big;
  for (int i = 0; i < 200; ++i) big += u"row " + DecimalText(i * i) + u"\r\n";
  Text packed = PackString(big);
  Text broken = packed.substr(0, 40) + u"\r\n" + packed.substr(40);
  EXPECT_EQ(UnPackString(broken), broken);
}

TEST(Packing, CharactersOutsideTheCodePageAreReplaced) {
  EXPECT_EQ(UnPackString(PackString(u"\u4E2D and \u20AC")), u"? and \u20AC");
}

TEST(Packing, LargeMultiLineRoundTrip) {
  std::mt19937 rng(8);
  Text text;
  while (text.size() < (3u << 20)) {
    text += u"record " + DecimalText(rng()) + u";\u00E9\u00FF\u2022 {x}\r\n";
  }
  EXPECT_EQ(UnPackString(PackString(text)), Trim(text));
}

TEST(CodePage, Windows1252BothWays) {
  const Text all_high = u"\u20AC\u0081\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160"
                        u"\u2039\u0152\u008D\u017D\u008F\u0090\u2018\u2019\u201C\u201D\u2022"
                        u"\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u009D\u017E\u0178";
  Bytes expected;
  for (int b = 0x80; b < 0xA0; ++b) expected.push_back(static_cast<uint8_t>(b));
  EXPECT_EQ(platform::TextToSystemCodePage(all_high), expected);
  EXPECT_EQ(platform::SystemCodePageToText(expected.data(), expected.size()), all_high);

  Bytes latin;
  Text latin_text;
  for (int b = 0; b < 0x100; ++b) {
    if (b >= 0x80 && b < 0xA0) continue;
    latin.push_back(static_cast<uint8_t>(b));
    latin_text += static_cast<char16_t>(b);
  }
  EXPECT_EQ(platform::TextToSystemCodePage(latin_text), latin);
  EXPECT_EQ(platform::SystemCodePageToText(latin.data(), latin.size()), latin_text);
  EXPECT_EQ(platform::TextToSystemCodePage(u"\u4E2D\u0416"), B({'?', '?'}));
}

TEST(Streams, TextBytesAreLittleEndianUnits) {
  EXPECT_EQ(TextToStream(u"A\u20AC"), B({0x41, 0x00, 0xAC, 0x20}));
  EXPECT_EQ(TextToStream(u""), Bytes());
  EXPECT_EQ(StreamToText(B({0x41, 0x00, 0xAC, 0x20, 0x7F})), u"A\u20AC");
  EXPECT_EQ(StreamToText(B({0x00, 0x00, 0x42})), Text(1, u'\0'));
  EXPECT_EQ(StreamToText(Bytes()), u"");
}

TEST(Compression, EmptyInputGivesTheEightByteStream) {
  Bytes b;
  CompressBuffer(b);
  EXPECT_EQ(b, B({0x78, 0xDA, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}));
  EXPECT_EQ(DecompressBuffer(b), 0);
  EXPECT_TRUE(b.empty());
}

TEST(Compression, RoundTripOfLargeRandomData) {
  std::mt19937 rng(21);
  Bytes original(3 << 20);
  // Half random, half repetitive, so both stored and compressed blocks occur.
  for (size_t i = 0; i < original.size(); ++i) {
    original[i] = static_cast<uint8_t>(i < original.size() / 2 ? rng() : i % 251);
  }
  Bytes b = original;
  CompressBuffer(b);
  EXPECT_EQ(b[0], 0x78);
  EXPECT_EQ(b[1], 0xDA);
  EXPECT_EQ(DecompressBuffer(b), static_cast<int64_t>(original.size()));
  EXPECT_EQ(b, original);
}

TEST(Compression, StreamCutShortAnywhereGivesWhatItHolds) {
  Bytes original;
  for (int i = 0; i < 3000; ++i) original.push_back(static_cast<uint8_t>('a' + (i * 7) % 26));
  Bytes stream = original;
  CompressBuffer(stream);
  for (size_t cut = 0; cut <= stream.size(); ++cut) {
    Bytes b(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
    const int64_t size = DecompressBuffer(b);
    ASSERT_EQ(size, static_cast<int64_t>(b.size()));
    ASSERT_LE(b.size(), original.size());
    ASSERT_TRUE(std::equal(b.begin(), b.end(), original.begin())) << cut;
    if (cut + 4 >= stream.size()) {
      ASSERT_EQ(b, original) << cut;
    }
  }
}

TEST(Compression, BadDataRaises) {
  Bytes stream = {'h', 'e', 'l', 'l', 'o'};
  CompressBuffer(stream);
  Bytes wrong_checksum = stream;
  wrong_checksum.back() ^= 1;
  EXPECT_THROW(DecompressBuffer(wrong_checksum), CompressionError);
  Bytes bad_header = B({0x78, 0xDB, 0x03, 0x00});
  EXPECT_THROW(DecompressBuffer(bad_header), CompressionError);
  Bytes not_zlib = {'h', 'e', 'l', 'l', 'o'};
  EXPECT_THROW(DecompressBuffer(not_zlib), CompressionError);
  Bytes bad_block = B({0x78, 0xDA, 0xFF, 0xFF, 0x00});  // reserved block type
  EXPECT_THROW(DecompressBuffer(bad_block), CompressionError);
}

}  // namespace
}  // namespace qvn::testing
