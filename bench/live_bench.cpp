// What `scenarioc serve` spends between a save and the new compile leaving
// for the pages: both sources read and compiled in memory with the check,
// the plot's scene, its JSON for the event and the page for a reload. The
// first argument is the scenario: 0 the embedded one, 1 the maximal one.
// Timed apart from the browser, which parses the event and draws
// (the browser test writes what the whole way takes, save to screen, to
// tests/browser/live_view.txt).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "scenario/emitters.h"
#include "testing/generate_scenario.h"
#include "tools/plot/from_sources.h"
#include "tools/plot/html_plot.h"

namespace scenc::bench {
namespace {

namespace fs = std::filesystem;
using tools::CompiledSources;
using tools::PlotScene;

// The two sources on disk under a scenario's names, as an author keeps them.
struct SourcesOnDisk {
  fs::path dir, line, train;
  SourcesOnDisk(const std::string& line_name, const std::string& train_number,
                const std::string& line_text, const std::string& train_text) {
    std::string pattern =
        (fs::temp_directory_path() / "live_bench.XXXXXX").string();
    dir = ::mkdtemp(pattern.data());
    line = dir / (line_name + "_linea.txt");
    train = dir / (line_name + "_" + train_number + "-.txt");
    std::ofstream(line, std::ios::binary) << line_text;
    std::ofstream(train, std::ios::binary) << train_text;
  }
  ~SourcesOnDisk() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

void BM_ServedCompile(benchmark::State& state) {
  const bool maximal = state.range(0) == 1;
  const MaximalScenario generated =
      maximal ? generate_maximal_scenario() : MaximalScenario{};
  const SourcesOnDisk sources =
      maximal ? SourcesOnDisk("Massima", "10001", generated.line_source,
                              generated.train_source)
              : SourcesOnDisk("Firenze_Pisa", "11711", embedded_line_source(),
                              embedded_train_source());
  std::uint64_t version = 0;
  std::size_t sent = 0;
  for (auto _ : state) {
    CompiledSources compiled =
        tools::compile_sources(sources.line, sources.train);
    const PlotScene scene =
        tools::make_scene(compiled.scenario, std::move(compiled.findings));
    const std::string json = tools::plot_scene_json(scene, ++version);
    const std::string page = tools::plot_page(scene, json);
    benchmark::DoNotOptimize(page.data());
    sent = json.size();
  }
  state.counters["event_bytes"] = static_cast<double>(sent);
}
BENCHMARK(BM_ServedCompile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace scenc::bench
