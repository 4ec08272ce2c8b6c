// Micro-benchmarks of the compile's stages on the generated maximal
// scenario: the field reader, the line stage, the train stage, the finishing
// pass, the writer of the three files, and the author check with its parts.
// Each reports bytes per second where bytes are what it reads or writes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "testing/generate_scenario.h"
#include "compiler/compile_run.h"
#include "compiler/memorizza_dati.h"
#include "model/finishing_pass.h"
#include "output/scenario_files.h"
#include "scenario/build_run.h"
#include "tools/check/check.h"
#include "tools/check/account.h"
#include "tools/check/source_rows.h"

namespace scenc::bench {
namespace {

const MaximalScenario& scenario() {
  static const MaximalScenario s = generate_maximal_scenario();
  return s;
}

// Throws the bytes away: the encoding without the disk. Like a file on
// disk, it takes the geometry's y values at their place.
struct DiscardSink final : ByteSink {
  void append(const char* data, std::size_t size) override {
    benchmark::DoNotOptimize(data);
    bytes += size;
  }
  bool write_at(std::uint64_t, const char* data, std::size_t size) override {
    benchmark::DoNotOptimize(data);
    bytes += size;
    return true;
  }
  std::size_t bytes = 0;
};

class DiscardDirectory final : public OutputDirectory {
 public:
  void write(const std::string&, const Fill& fill) override {
    ByteWriter out(sink);
    fill(out);
    out.flush();
  }
  DiscardSink sink;
};

Model fresh_model(std::int32_t write_line_file) {
  Model m;
  m.line_name = "Massima";
  m.train_number = "10001";
  m.clear_for_build(write_line_file);
  return m;
}

// A model whose compile ran to the end, with or without the line profile.
// The benchmark stops at once if the generated scenario no longer compiles
// clean: its timings would be of an error path.
const Model& compiled(std::int32_t write_line_file, bool finished) {
  static Model models[2][2];
  static bool ready[2][2] = {};
  Model& m = models[write_line_file != 0][finished];
  if (!ready[write_line_file != 0][finished]) {
    m = fresh_model(write_line_file);
    MemorySources sources(scenario().line_source, scenario().train_source);
    memorizza_dati(m, sources);
    if (finished && finish_track_cells(m) != 0) m.error_code = -1;
    if (m.error_code != 0) {
      std::fprintf(stderr, "the maximal scenario compiles with fault %d\n", m.error_code);
      std::abort();
    }
    ready[write_line_file != 0][finished] = true;
  }
  return m;
}

void BM_FieldReader(benchmark::State& state) {
  // Both sources, repeated to some megabytes so that the text does not sit
  // in the cache as a whole.
  std::string text;
  while (text.size() < (8u << 20)) text += scenario().line_source + scenario().train_source;
  for (auto _ : state) {
    FieldReader reader(text);
    // Row by row as the stages read: a keyword field, then the numbers of
    // its line.
    while (!reader.at_end()) {
      benchmark::DoNotOptimize(reader.read_text_field());
      const std::int32_t line = reader.field_line();
      while (!reader.at_end() && reader.line() == line) {
        benchmark::DoNotOptimize(reader.read_number_field());
      }
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_FieldReader)->Unit(benchmark::kMillisecond);

void BM_LineStage(benchmark::State& state) {
  const std::int32_t write_line_file = static_cast<std::int32_t>(state.range(0));
  for (auto _ : state) {
    Model m = fresh_model(write_line_file);
    MemorySources sources(scenario().line_source, std::string{});
    CompileRun run(m, sources);
    if (!compile_line_source(run) || m.error_code != 0) state.SkipWithError("line fault");
    benchmark::DoNotOptimize(m.track_cells.data());
  }
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * scenario().line_source.size()));
}
// 1: with the line profile, whose runs are noted (its metres are drawn when
// the geometry file is written); 0: the grid alone.
BENCHMARK(BM_LineStage)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_TrainStage(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Model m = fresh_model(0);
    MemorySources sources(scenario().line_source, scenario().train_source);
    CompileRun run(m, sources);
    compile_line_source(run);
    state.ResumeTiming();
    if (!compile_train_source(run) || m.error_code != 0) state.SkipWithError("train fault");
    benchmark::DoNotOptimize(m.track_cells.data());
  }
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * scenario().train_source.size()));
}
BENCHMARK(BM_TrainStage)->Unit(benchmark::kMicrosecond);

void BM_FinishingPass(benchmark::State& state) {
  const Model& base = compiled(0, false);
  for (auto _ : state) {
    state.PauseTiming();
    Model m = base;
    state.ResumeTiming();
    if (finish_track_cells(m) != 0 || m.error_code != 0) state.SkipWithError("finishing fault");
    benchmark::DoNotOptimize(m.track_cells.data());
  }
}
BENCHMARK(BM_FinishingPass)->Unit(benchmark::kMicrosecond);

// Drawing the metres of the profile straight into their encoding.
void BM_WriteGeometryFile(benchmark::State& state) {
  const Model& m = compiled(1, true);
  DiscardSink sink;
  for (auto _ : state) {
    ByteWriter out(sink);
    write_line_geometry_file(m.line_profile, out);
    out.flush();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(sink.bytes));
}
BENCHMARK(BM_WriteGeometryFile)->Unit(benchmark::kMillisecond);

void BM_WriteSlotAndCellFiles(benchmark::State& state) {
  const Model& m = compiled(0, true);
  DiscardSink sink;
  for (auto _ : state) {
    ByteWriter out(sink);
    write_slot_file(m, out);
    write_cell_file(m, out);
    out.flush();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(sink.bytes));
}
BENCHMARK(BM_WriteSlotAndCellFiles)->Unit(benchmark::kMicrosecond);

// Everything after the sources have been read, the files encoded but not
// written: what `scenarioc compile` spends beyond its file work.
void BM_WholeCompile(benchmark::State& state) {
  for (auto _ : state) {
    Model m;
    m.line_name = "Massima";
    m.train_number = "10001";
    MemorySources sources(scenario().line_source, scenario().train_source);
    DiscardDirectory out;
    const BuildOutcome outcome = memorizza_percorso(m, 1, sources, out);
    if (outcome.error_exit != 0 || m.error_code != 0) state.SkipWithError("fault");
    benchmark::DoNotOptimize(out.sink.bytes);
  }
}
BENCHMARK(BM_WholeCompile)->Unit(benchmark::kMillisecond);

std::int64_t source_bytes() {
  return static_cast<std::int64_t>(scenario().line_source.size() +
                                   scenario().train_source.size());
}

// The author check of the maximal sources, as `scenarioc check` runs it:
// the rows read, the traced compile and the lint. On `scenarioc compile` it
// runs beside the files being written, and it is the last thing waited for.
void BM_AuthorCheck(benchmark::State& state) {
  for (auto _ : state) {
    tools::CheckResult r = tools::check_sources(
        scenario().line_source, scenario().train_source, "Massima", "10001");
    if (r.error_exit != 0 || !r.diagnostics.empty()) {
      state.SkipWithError("the maximal sources do not check clean");
    }
    benchmark::DoNotOptimize(r.model.track_cells.data());
  }
  state.SetBytesProcessed(state.iterations() * source_bytes());
}
BENCHMARK(BM_AuthorCheck)->Unit(benchmark::kMicrosecond);

// The check's parts: both sources split into the rows an author wrote,
// with all their fields (0, as the editor's features read them) or their
// keyword fields alone (1, as the check reads them) ...
void BM_AuthorRows(benchmark::State& state) {
  const tools::KeptFields kept = state.range(0) != 0
                                     ? tools::KeptFields::kKeywordField
                                     : tools::KeptFields::kAll;
  for (auto _ : state) {
    tools::SourceRows line = tools::read_source_rows(scenario().line_source,
                                                     SourceKind::kLine, kept);
    tools::SourceRows train = tools::read_source_rows(scenario().train_source,
                                                      SourceKind::kTrain, kept);
    benchmark::DoNotOptimize(line.rows.data());
    benchmark::DoNotOptimize(train.rows.data());
  }
  state.SetBytesProcessed(state.iterations() * source_bytes());
}
BENCHMARK(BM_AuthorRows)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// ... and the compile with (1) and without (0) the account the check
// words its diagnostics from.
void BM_TracedCompile(benchmark::State& state) {
  const bool traced = state.range(0) != 0;
  for (auto _ : state) {
    Model m;
    m.line_name = "Massima";
    m.train_number = "10001";
    SourceViews sources(scenario().line_source, scenario().train_source);
    tools::CompileAccountData account;
    tools::AccountKeeper keeper(account);
    const BuildOutcome outcome =
        compile_scenario(m, 1, sources, traced ? &keeper : nullptr);
    if (outcome.error_exit != 0) state.SkipWithError("fault");
    benchmark::DoNotOptimize(account.line.fields.data());
  }
  state.SetBytesProcessed(state.iterations() * source_bytes());
}
BENCHMARK(BM_TracedCompile)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace scenc::bench
