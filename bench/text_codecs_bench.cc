// Throughput of the text codecs on texts of the size hosts hand them (up to
// a hundred megabytes). Bytes are those of the UTF-16 input.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <map>
#include <random>

#include "base/text.h"
#include "codecs/entities.h"
#include "codecs/packing.h"
#include "codecs/value_list.h"
#include "platform/codepage.h"
#include "text/replace_text.h"
#include "transfer/file_sections.h"

namespace qvn {
namespace {

constexpr size_t kBigUnits = 50u << 20;  // 100 MiB of UTF-16

// Field data as the server stores it: words, numbers, some accented letters,
// now and then one of the characters the escaping replaces.
Text MakeText(size_t units, char16_t delimiter) {
  static const TextView words[] = {u"customer", u"Stra\u00DFe", u"order", u"12345", u"caf\u00E9",
                                   u"total", u"2026-12-08", u"name", u"value", u"\u00C9lan"};
  static const char16_t specials[] = {u';', u'&', u',', u'\t', u'\r', u'\n', u'{', u'}'};
  std::mt19937 rng(42);
  Text t;
  t.reserve(units + 64);
  while (t.size() < units) {
    t += words[rng() % std::size(words)];
    const unsigned r = rng() % 100;
    if (r < 3) t += specials[rng() % std::size(specials)];
    t += r < 20 ? delimiter : u' ';
  }
  t.resize(units);
  return t;
}

const Text& BigText() {
  static const Text t = MakeText(kBigUnits, u'@');
  return t;
}

// The first range(0) megabytes (of UTF-16) of the big text: 1, 10 and 100 MB
// show that the codecs stay linear.
const Text& SizedText(const benchmark::State& state) {
  static std::map<int64_t, Text> texts;
  const size_t units = static_cast<size_t>(state.range(0)) * 500000;
  auto it = texts.find(state.range(0));
  if (it == texts.end()) it = texts.emplace(state.range(0), BigText().substr(0, units)).first;
  return it->second;
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);
}

void SetBytes(benchmark::State& state, size_t units) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(units * sizeof(char16_t)));
}

// The floor for every operation that returns a new text of this size: the
// allocation (fresh pages from the system) and one copy.
void BM_CopyText(benchmark::State& state) {
  const Text& t = SizedText(state);
  for (auto _ : state) benchmark::DoNotOptimize(Text(t));
  SetBytes(state, t.size());
}
BENCHMARK(BM_CopyText)->Apply(Sizes);

void BM_DataEncode(benchmark::State& state) {
  const Text& t = SizedText(state);
  for (auto _ : state) benchmark::DoNotOptimize(DataEncode(t));
  SetBytes(state, t.size());
}
BENCHMARK(BM_DataEncode)->Apply(Sizes);

void BM_DataDecode(benchmark::State& state) {
  const Text encoded = DataEncode(SizedText(state));
  for (auto _ : state) benchmark::DoNotOptimize(DataDecode(encoded));
  SetBytes(state, encoded.size());
}
BENCHMARK(BM_DataDecode)->Apply(Sizes);

// A script of short command lines with a file section every hundred lines.
void BM_SplitFileSections(benchmark::State& state) {
  const size_t lines = static_cast<size_t>(state.range(0)) * 20000;  // ~50 bytes a line
  std::vector<Text> script{u"dbpass@user@secret"};
  for (size_t i = 1; i < lines; ++i) {
    if (i % 100 == 0) {
      script.push_back(u"FILES [UPLOAD]");
      script.push_back(u"{ C:\\data\\a" + DecimalText(static_cast<int64_t>(i)) + u".txt,..\\docs\\a.txt }");
    } else {
      script.push_back(u"  SELECT name, total FROM orders WHERE number = " +
                       DecimalText(static_cast<int64_t>(i)));
    }
  }
  size_t units = 0;
  for (const Text& l : script) units += l.size() + 2;
  for (auto _ : state) {
    std::vector<Text> work = script, sections;
    SplitFileSections(work, sections);
    benchmark::DoNotOptimize(sections.size());
  }
  SetBytes(state, units);
}
// 1, 3 and 10 MB: enough to tell linear from quadratic in seconds.
BENCHMARK(BM_SplitFileSections)->Arg(1)->Arg(3)->Arg(10)->Unit(benchmark::kMillisecond);

void BM_ValueFromStringLateField(benchmark::State& state) {
  const Text& t = BigText();
  const int32_t fields = ValueCount(t, u"@", true);
  for (auto _ : state) benchmark::DoNotOptimize(ValueFromString(t, fields - 2, u"@"));
  SetBytes(state, t.size());
}
BENCHMARK(BM_ValueFromStringLateField)->Unit(benchmark::kMillisecond);

void BM_ValueFromStringLateFieldLongDelimiter(benchmark::State& state) {
  static const Text t = ReplaceText(BigText(), u"@", u"<|>");
  const int32_t fields = ValueCount(t, u"<|>", true);
  for (auto _ : state) benchmark::DoNotOptimize(ValueFromString(t, fields - 2, u"<|>"));
  SetBytes(state, t.size());
}
BENCHMARK(BM_ValueFromStringLateFieldLongDelimiter)->Unit(benchmark::kMillisecond);

void BM_ValueCount(benchmark::State& state) {
  const Text& t = BigText();
  for (auto _ : state) benchmark::DoNotOptimize(ValueCount(t, u"@", true));
  SetBytes(state, t.size());
}
BENCHMARK(BM_ValueCount)->Unit(benchmark::kMillisecond);

void BM_ReplaceTextIgnoringCase(benchmark::State& state) {
  const Text& t = BigText();
  for (auto _ : state) benchmark::DoNotOptimize(ReplaceText(t, u"ORDER", u"o"));
  SetBytes(state, t.size());
}
BENCHMARK(BM_ReplaceTextIgnoringCase)->Unit(benchmark::kMillisecond);

// Packing against zlib alone on the same bytes: the rest of PackString
// (line list, code page, Base64) should cost little next to level-9 deflate.
constexpr size_t kPackUnits = 8u << 20;

const Text& PackText() {
  static const Text t = MakeText(kPackUnits, u'\n');
  return t;
}

void BM_PackString(benchmark::State& state) {
  const Text& t = PackText();
  for (auto _ : state) benchmark::DoNotOptimize(PackString(t));
  SetBytes(state, t.size());
}
BENCHMARK(BM_PackString)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_Compress2Level9(benchmark::State& state) {
  // What PackString compresses: the lines ended by CR LF, in the code page.
  static const Bytes input = platform::TextToSystemCodePage(ReplaceText(PackText(), u"\n", u"\r\n"));
  Bytes out(compressBound(static_cast<uLong>(input.size())));
  for (auto _ : state) {
    uLongf size = static_cast<uLongf>(out.size());
    compress2(out.data(), &size, input.data(), static_cast<uLong>(input.size()), 9);
    benchmark::DoNotOptimize(size);
  }
  SetBytes(state, PackText().size());
}
BENCHMARK(BM_Compress2Level9)->Unit(benchmark::kMillisecond)->MinTime(3);

}  // namespace
}  // namespace qvn
