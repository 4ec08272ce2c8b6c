// The cost of compiling hostile sources at two or more sizes each; the
// fitted complexity shows that it grows in step with the size of the source
// (or with the length of the line), never faster.
#include <benchmark/benchmark.h>

#include "compiler/source_store.h"
#include "scenario/build_run.h"
#include "scenario/emitters.h"
#include "testing/hostile_sources.h"

namespace scenc {
namespace {

// A whole build, the files written to memory and thrown away.
void build(benchmark::State& state, const std::string& line,
           const std::string& train, std::int32_t write_line_file) {
  for (auto _ : state) {
    Model model;
    model.line_name = "Firenze_Pisa";
    model.train_number = "11711";
    MemorySources sources(line, train);
    MemoryDirectory out;
    benchmark::DoNotOptimize(
        memorizza_percorso(model, write_line_file, sources, out));
  }
  state.SetComplexityN(state.range(0));
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations()) *
      static_cast<std::int64_t>(line.size() + train.size()));
}

void BM_Commas(benchmark::State& state) {
  build(state, embedded_line_source(),
        hostile::commas(static_cast<std::size_t>(state.range(0))), 0);
}
BENCHMARK(BM_Commas)
    ->Arg(5 << 20)
    ->Arg(50 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_OneLongLine(benchmark::State& state) {
  build(state, hostile::one_long_line(static_cast<std::size_t>(state.range(0))),
        hostile::small_train(), 0);
}
BENCHMARK(BM_OneLongLine)
    ->Arg(1 << 20)
    ->Arg(10 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// One grid and plan of 1,000,000 m, whatever the number of rows: the cost
// is that fixed part and a small one per row, far below linear.
void BM_LengthRows(benchmark::State& state) {
  build(state, hostile::length_rows(static_cast<std::size_t>(state.range(0))),
        hostile::small_train(), 1);
}
BENCHMARK(BM_LengthRows)
    ->Arg(1 << 20)
    ->Arg(10 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

// The line's length and its number of curves grow together, one curve
// every 250 m, and the geometry is built and written.
void BM_CurvedLine(benchmark::State& state) {
  const auto length = static_cast<std::int32_t>(state.range(0));
  build(state, hostile::many_curves(length, length / 250),
        hostile::small_train(), 1);
}
BENCHMARK(BM_CurvedLine)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// Every row covers the whole line of 1,000,000 m: the cost grows with the
// rows, not with rows times cells.
void BM_MountainRows(benchmark::State& state) {
  build(state, hostile::mountain_rows(static_cast<std::size_t>(state.range(0))),
        hostile::small_train(), 0);
}
BENCHMARK(BM_MountainRows)
    ->Arg(1 << 20)
    ->Arg(8 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_Noise(benchmark::State& state) {
  build(state, hostile::noise(static_cast<std::size_t>(state.range(0)), 1),
        embedded_train_source(), 0);
}
BENCHMARK(BM_Noise)
    ->Arg(1 << 20)
    ->Arg(10 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace
}  // namespace scenc
