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

#include "bench/generate_scenario.h"
#include "model/cp1252.h"
#include "tools/lsp_server.h"

namespace scenc::bench {
namespace {

using json = nlohmann::json;

// The sources are open in the editor; nothing is read from disk.
class NoDisk final : public lsp::FileAccess {
 public:
  std::optional<std::string> read(const std::filesystem::path&) override {
    return std::nullopt;
  }
  std::vector<std::string> names_in(const std::filesystem::path&) override {
    return {};
  }
};

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

// Arg 0: a change the check finds clean (a letter of the train's title);
// arg 1: a keyword typed wrong ("stazoine" for "stazione") and, at the next
// change, typed right again.
void BM_DiagnosticsAfterChange(benchmark::State& state) {
  static const MaximalScenario s = generate_maximal_scenario();
  const std::string line = cp1252_to_utf8(s.line_source);
  const std::string train = cp1252_to_utf8(s.train_source);
  NoDisk disk;
  std::vector<std::string> sent;
  lsp::Server server(disk, [&](const std::string& c) { sent.push_back(c); });
  server.receive({false, json{{"jsonrpc", "2.0"},
                              {"id", 1},
                              {"method", "initialize"},
                              {"params", {{"capabilities", json::object()}}}}
                             .dump()});
  for (const auto& [uri, text] : {std::pair{kLineUri, line}, {kTrainUri, train}}) {
    server.receive(message("textDocument/didOpen",
                           {{"textDocument",
                             {{"uri", uri}, {"languageId", "scenario"},
                              {"version", 1}, {"text", text}}}}));
  }
  server.publish_pending();

  const bool typo = state.range(0) == 1;
  const auto [row, column] = typo ? place_of(train, "stazione") : std::pair{0, 0};
  const int from = typo ? column + 4 : 0;  // "stazione": its "ion"
  const std::string texts[2] = {typo ? "oin" : "t", typo ? "ion" : "T"};
  int version = 1;
  for (auto _ : state) {
    ++version;
    sent.clear();
    const json range = {{"start", {{"line", row}, {"character", from}}},
                         {"end", {{"line", row}, {"character", from + static_cast<int>(texts[0].size())}}}};
    server.receive(message(
        "textDocument/didChange",
        {{"textDocument", {{"uri", kTrainUri}, {"version", version}}},
         {"contentChanges",
          json::array({{{"range", range}, {"text", texts[version % 2]}}})}}));
    server.publish_pending();
    if (sent.empty() ||
        sent.back().find("publishDiagnostics") == std::string::npos) {
      state.SkipWithError("no diagnostics published");
      break;
    }
  }
}
BENCHMARK(BM_DiagnosticsAfterChange)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace scenc::bench
