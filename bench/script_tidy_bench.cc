// Caller-sized inputs that once cost quadratic time: a directive with a long
// run of blanks before its "]", and scripts with many directive lines and a
// growing answer. Time per element should stay flat from 1k to 100k.
#include <benchmark/benchmark.h>

#include <vector>

#include "api/script.h"
#include "base/text.h"
#include "text/replace_text.h"

namespace qvn {
namespace {

void BM_CollapseBlanksBeforeBracket(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const Text line = u"BUILD SHOW[5" + Text(n, u' ') + u"]";
  for (auto _ : state) benchmark::DoNotOptimize(CollapseText(line, u" ]", u"]"));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_CollapseBlanksBeforeBracket)->RangeMultiplier(10)->Range(1000, 100000)->Complexity();

// Alternating directive and command lines, every directive answering 100
// characters: the result grows with every directive handled.
void BM_DirectiveLines(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  std::vector<Text> script{u"db@user@pw"};
  for (size_t i = 0; i < n; ++i) script.push_back(i % 2 ? u"list x" : u"build show[7]-");
  const Text answer(100, u'a');
  const DirectiveCommands commands{[&] { return answer; },
                                   [&](int32_t, bool) { return answer; }};
  for (auto _ : state) {
    std::vector<Text> lines = script;
    Text result;
    RunDirectives(lines, result, commands);
    benchmark::DoNotOptimize(result);
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_DirectiveLines)->RangeMultiplier(10)->Range(1000, 100000)->Complexity();

}  // namespace
}  // namespace qvn
