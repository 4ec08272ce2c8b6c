// The language server's latency on the generated maximal scenario: from a
// didChange of one of its sources to the publishDiagnostics that answers
// it. Both sources are open in the server; each iteration sends one
// incremental change as an editor does while the author types, and the
// server parses it, applies it, checks the pair and writes the diagnostics
// of both files.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "testing/generate_scenario.h"
#include "model/cp1252.h"
#include "tools/lsp/server.h"

namespace scenc::bench {
namespace {

using json = nlohmann::json;

const char* const kLineUri = "file:///bench/Massima_linea.txt";
const char* const kTrainUri = "file:///bench/Massima_10001-.txt";

lsp::Frame message(const std::string& method, json params) {
  return {false,
          json{{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}}
              .dump()};
}

// 0-based line and column of the first `text` in `source`.
std::pair<int, int> place_of(const std::string& source, const std::string& text) {
  const std::size_t at = source.find(text);
  const std::size_t line_start = source.rfind('\n', at);
  int line = 0;
  for (std::size_t i = 0; i < at; ++i) line += source[i] == '\n';
  return {line, static_cast<int>(at - (line_start == std::string::npos ? 0 : line_start + 1))};
}

// The first argument is the change: 0, one the check finds clean (a letter
// of the train's title); 1, a keyword typed wrong ("stazoine" for the first
// "stazione"), which ends the compile of the train source at the row after
// it, and, as recovery compiles past each such row, at every station after.
// Each iteration times that change alone; the change back is made untimed.
// The second argument is what is timed: 0, until the first diagnostics are
// out (those of the first compile); 1, until the check with recovery, run
// here in turn where the server runs it beside, has published as well.
void BM_DiagnosticsAfterChange(benchmark::State& state) {
  static const MaximalScenario s = generate_maximal_scenario();
  const std::string line = cp1252_to_utf8(s.line_source);
  const std::string train = cp1252_to_utf8(s.train_source);
  lsp::NoFiles disk;  // both sources are open; nothing is read
  std::vector<std::string> sent;
  lsp::Server server(disk, [&](const std::string& c) { sent.push_back(c); });
  const auto check_all = [&] {
    server.publish_pending();
    if (state.range(1) == 0) return;
    while (const auto job = server.recovery_job()) {
      server.recovered(*job, lsp::run_recovery(*job));
    }
  };
  server.receive({false, json{{"jsonrpc", "2.0"},
                              {"id", 1},
                              {"method", "initialize"},
                              {"params", {{"capabilities", json::object()}}}}
                             .dump()});
  for (const auto& [uri, text] :
       {std::pair{kLineUri, line}, {kTrainUri, train}}) {
    server.receive(
        message("textDocument/didOpen", {{"textDocument",
                                          {{"uri", uri},
                                           {"languageId", "scenario"},
                                           {"version", 1},
                                           {"text", text}}}}));
  }
  check_all();

  const bool typo = state.range(0) == 1;
  const auto [row, column] =
      typo ? place_of(train, "stazione") : std::pair{0, 0};
  const int from = typo ? column + 4 : 0;  // "stazione": its "ion"
  const std::string wrong = typo ? "oin" : "t";
  const std::string right = typo ? "ion" : "T";
  int version = 1;
  const auto change = [&](const std::string& text) {
    const json range = {
        {"start", {{"line", row}, {"character", from}}},
        {"end",
         {{"line", row}, {"character", from + static_cast<int>(text.size())}}}};
    server.receive(
        message("textDocument/didChange",
                {{"textDocument", {{"uri", kTrainUri}, {"version", ++version}}},
                 {"contentChanges",
                  json::array({{{"range", range}, {"text", text}}})}}));
  };
  for (auto _ : state) {
    sent.clear();
    change(wrong);
    check_all();
    if (sent.empty() ||
        sent.front().find("publishDiagnostics") == std::string::npos) {
      state.SkipWithError("no diagnostics published");
      break;
    }
    state.PauseTiming();
    change(right);
    check_all();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DiagnosticsAfterChange)
    ->ArgNames({"typo", "with_recovery"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace scenc::bench
