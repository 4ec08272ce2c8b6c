// The author check on sources with faults, as `scenarioc check` runs it:
// its cost must grow in step with the sources however many faults it
// finds behind one another (one compile past them all, over views of the
// bytes rather than copies).
#include <benchmark/benchmark.h>

#include "scenario/emitters.h"
#include "testing/hostile_sources.h"
#include "tools/check/check.h"

namespace scenc {
namespace {

void check(benchmark::State& state, const std::string& line,
           const std::string& train, int max_errors) {
  tools::CheckOptions options;
  options.max_errors = max_errors;
  std::size_t errors = 0;
  for (auto _ : state) {
    const tools::CheckResult r = tools::check_sources(
        line, train, "Firenze_Pisa", "11711", options);
    errors = static_cast<std::size_t>(r.errors());
    benchmark::DoNotOptimize(r.diagnostics.data());
  }
  state.counters["errors"] = static_cast<double>(errors);
  state.SetComplexityN(state.range(0));
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations()) *
      static_cast<std::int64_t>(line.size() + train.size()));
}

// Gradient rows every 10 m over a 1,000,000 m line: some 80,000 rows past
// the last cell, each a fault of one cause, told as one error. With no cap
// on errors, as `--max-errors 0`.
void BM_CheckGradientRowsEvery10m(benchmark::State& state) {
  static const std::string line = hostile::gradient_rows(10);
  check(state, line, hostile::small_train(), 0);
}
BENCHMARK(BM_CheckGradientRowsEvery10m)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// Sources of 10 to 100 MB with a fault that ends the stage every 100 KB,
// no cap on errors: the cost per byte stays the same.
void BM_CheckSourcesWithFaults(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0)) << 20;
  const std::string train = hostile::train_with_faults(size, 100 << 10);
  check(state, embedded_line_source(), train, 0);
}
BENCHMARK(BM_CheckSourcesWithFaults)
    ->Arg(10)
    ->Arg(20)
    ->Arg(40)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Complexity(benchmark::oN);

}  // namespace
}  // namespace scenc
