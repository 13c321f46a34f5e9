// Throughput of the text codecs on texts of the size hosts hand them (up to
// a hundred megabytes). Bytes are those of the UTF-16 input.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>

#include "base/text.h"
#include "codecs/entities.h"
#include "codecs/packing.h"
#include "codecs/value_list.h"
#include "platform/codepage.h"

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

void SetBytes(benchmark::State& state, size_t units) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(units * sizeof(char16_t)));
}

// The floor for every operation that returns a new text of this size: the
// allocation (fresh pages from the system) and one copy.
void BM_CopyText(benchmark::State& state) {
  const Text& t = BigText();
  for (auto _ : state) benchmark::DoNotOptimize(Text(t));
  SetBytes(state, t.size());
}
BENCHMARK(BM_CopyText)->Unit(benchmark::kMillisecond);

void BM_DataEncode(benchmark::State& state) {
  const Text& t = BigText();
  for (auto _ : state) benchmark::DoNotOptimize(DataEncode(t));
  SetBytes(state, t.size());
}
BENCHMARK(BM_DataEncode)->Unit(benchmark::kMillisecond);

void BM_DataDecode(benchmark::State& state) {
  static const Text encoded = DataEncode(BigText());
  for (auto _ : state) benchmark::DoNotOptimize(DataDecode(encoded));
  SetBytes(state, encoded.size());
}
BENCHMARK(BM_DataDecode)->Unit(benchmark::kMillisecond);

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
