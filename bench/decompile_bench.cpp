// Decompiling the generated maximal scenario against compiling it, as an
// author runs them: `scenarioc decompile DIR` reading the three files and
// writing the two sources, against `scenarioc compile` reading the two
// sources and writing the three files, each into a directory of its own
// (wall time: the compile checks the sources on a second thread). The goal
// is a decompile within twice the compile. Beside them the same work in
// memory, without the files: the decompile from the three files' bytes,
// with its own check that the sources compile to the same files, against
// the compile to the three files' bytes (BM_WholeCompile).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "testing/generate_scenario.h"
#include "tools/commands.h"
#include "tools/decompile/decompile.h"
#include "tools/decompile_command.h"

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

// A directory of the benchmark's own, holding the maximal sources and, once
// compiled, its files; removed when the benchmarks end.
struct Workspace {
  Workspace()
      : dir(std::filesystem::temp_directory_path() /
            ("scenario_decompile_bench." + std::to_string(::getpid()))) {
    std::filesystem::create_directories(dir / "out");
    std::ofstream(dir / "Massima_linea.txt", std::ios::binary)
        << maximal().line_source;
    std::ofstream(dir / "Massima_10001-.txt", std::ios::binary)
        << maximal().train_source;
  }
  ~Workspace() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::filesystem::path dir;
};

const std::filesystem::path& workspace() {
  static const Workspace w;
  return w.dir;
}

int compile_command() {
  CLI::App app;
  int status = 0;
  tools::register_compile_commands(app, status);
  const std::string dir = workspace().string();
  std::vector<std::string> args{"compile", dir + "/Massima_linea.txt",
                                dir + "/Massima_10001-.txt", "-o",
                                dir + "/out"};
  std::reverse(args.begin(), args.end());
  app.parse(args);
  return status;
}

void BM_CompileCommand(benchmark::State& state) {
  for (auto _ : state) {
    if (compile_command() != 0) state.SkipWithError("the compile failed");
  }
}
BENCHMARK(BM_CompileCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecompileCommand(benchmark::State& state) {
  if (compile_command() != 0) state.SkipWithError("the compile failed");
  tools::DecompileRequest request;
  request.scenario = (workspace() / "out").string();
  request.out_dir = (workspace() / "decompiled").string();
  request.force = true;
  for (auto _ : state) {
    std::ostringstream err;
    if (tools::run_decompile(request, err) != 0)
      state.SkipWithError(err.str().c_str());
  }
}
BENCHMARK(BM_DecompileCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace scenc::bench
