// Decompiling the generated maximal scenario against compiling it: from the
// bytes of its three files to the bytes of its two sources, with the
// decompile's own check that the sources compile to the same files, and
// from the two sources to the three files encoded in memory. The goal is a
// decompile within twice the compile.
#include <benchmark/benchmark.h>

#include "testing/generate_scenario.h"
#include "tools/decompile/decompile.h"

namespace scenc::bench {
namespace {

const MaximalScenario& maximal() {
  static const MaximalScenario s = generate_maximal_scenario();
  return s;
}

// The maximal scenario's files, with or without the line geometry.
const tools::ScenarioBytes& maximal_files(std::int32_t write_line_file) {
  static tools::ScenarioBytes files[2];
  tools::ScenarioBytes& f = files[write_line_file];
  if (f.slots.empty()) {
    f = tools::compile_in_memory(maximal().line_source, maximal().train_source,
                                 "Massima", "10001", write_line_file)
            .files;
  }
  return f;
}

void BM_CompileMaximal(benchmark::State& state) {
  const auto j = static_cast<std::int32_t>(state.range(0));
  for (auto _ : state) {
    const tools::CompiledInMemory c = tools::compile_in_memory(
        maximal().line_source, maximal().train_source, "Massima", "10001", j);
    benchmark::DoNotOptimize(c.files.cells.data());
  }
}
BENCHMARK(BM_CompileMaximal)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_DecompileMaximal(benchmark::State& state) {
  const tools::ScenarioBytes& files =
      maximal_files(static_cast<std::int32_t>(state.range(0)));
  for (auto _ : state) {
    const tools::DecompiledScenario d =
        tools::decompile(tools::decode_scenario(files), files);
    if (!d.same_bytes) state.SkipWithError("the decompiled sources differ");
    benchmark::DoNotOptimize(d.train_source.data());
  }
}
BENCHMARK(BM_DecompileMaximal)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace scenc::bench
