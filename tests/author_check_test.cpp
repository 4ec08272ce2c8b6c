// The author check on whole sources: clean ones give nothing, the model it
// keeps is the one a build writes its files from, and each mistake, made as
// a small edit of the embedded sources, is reported once, on its own line
// and field, with the faults behind a stage-ending fault found by recovery.
#include "tools/author_check.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "bench/generate_scenario.h"
#include "output/output_directory.h"
#include "scenario/build_run.h"

namespace scenc::tools {
namespace {

struct Pair {
  std::string line;
  std::string train;
};

Pair embedded() {
  Model model;
  set_embedded_identity(model);
  MemoryDirectory out;
  write_scenario_texts(model, out);
  return {out.files.at("Firenze_Pisa_linea.txt"),
          out.files.at("Firenze_Pisa_11711-.txt")};
}

// Replaces `from` by `to` on the 1-based line `line` of `text`.
std::string edit(std::string text, int line, const std::string& from,
                 const std::string& to) {
  std::size_t start = 0;
  for (int l = 1; l < line; ++l) start = text.find('\n', start) + 1;
  const std::size_t end = text.find('\n', start);
  const std::size_t at = text.find(from, start);
  EXPECT_TRUE(at != std::string::npos && at < end)
      << "line " << line << " has no `" << from << "`";
  if (at == std::string::npos || at >= end) return text;
  return text.replace(at, from.size(), to);
}

CheckResult check(const Pair& p, const CheckOptions& options = {}) {
  return check_sources(p.line, p.train, kEmbeddedLineName,
                       kEmbeddedTrainNumber, options);
}

std::string listing(const CheckResult& r) {
  std::ostringstream s;
  for (const AuthorDiagnostic& d : r.diagnostics) {
    s << (d.source == SourceKind::kTrain ? "T" : "L") << d.line << ":"
      << d.column << " " << d.check << ": " << d.message << "\n";
  }
  return s.str();
}

// The three files a build writes from `model`.
std::map<std::string, std::string> files_of(const Model& model) {
  MemoryDirectory out;
  write_scenario_files(model, out);
  return out.files;
}

TEST(AuthorCheck, CleanSourcesGiveNoDiagnosticAndTheBuildsModel) {
  const bench::MaximalScenario maximal = bench::generate_maximal_scenario();
  const struct {
    const char* what;
    Pair sources;
    std::string_view line_name;
    std::string_view train_number;
  } cases[] = {
      {"embedded", embedded(), kEmbeddedLineName, kEmbeddedTrainNumber},
      {"maximal", {maximal.line_source, maximal.train_source}, "Massima",
       "10001"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const CheckResult r = check_sources(c.sources.line, c.sources.train,
                                        c.line_name, c.train_number);
    EXPECT_EQ(listing(r), "");
    EXPECT_EQ(r.error_exit, 0);
    EXPECT_EQ(r.recovery_compiles, 0);

    // The model the check keeps writes the files a build writes.
    Model built;
    built.line_name = c.line_name;
    built.train_number = c.train_number;
    MemorySources sources(c.sources.line, c.sources.train);
    MemoryDirectory out;
    memorizza_percorso(built, 1, sources, out);
    EXPECT_TRUE(files_of(r.model) == out.files);
  }
}

struct Expected {
  std::string check;
  char source;  // 'L' line source, 'T' train source
  int line;
  int column;
  bool after_recovery = false;
};

void expect_diagnostics(const CheckResult& r,
                        const std::vector<Expected>& expected) {
  ASSERT_EQ(r.diagnostics.size(), expected.size()) << listing(r);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const AuthorDiagnostic& d = r.diagnostics[i];
    const Expected& e = expected[i];
    EXPECT_EQ(d.check, e.check) << listing(r);
    EXPECT_EQ(d.source,
              e.source == 'T' ? SourceKind::kTrain : SourceKind::kLine)
        << listing(r);
    EXPECT_EQ(d.line, e.line) << listing(r);
    EXPECT_EQ(d.column, e.column) << listing(r);
    EXPECT_EQ(d.after_recovery, e.after_recovery) << listing(r);
    EXPECT_GT(d.end_column, d.column);
    EXPECT_FALSE(d.message.empty());
  }
}

// Independent faults, each of which ends its stage: every one is reported,
// those behind the first found by compiling again without its row.
TEST(AuthorCheck, RecoveryReportsEveryIndependentFault) {
  const Pair e = embedded();
  Pair p = e;
  p.line = edit(p.line, 24, "16000", "96000");  // beyond the grid
  p.line = edit(p.line, 120, "22100", "20750");  // signboard on a signboard
  p.train = edit(p.train, 39, "7400", "7425");   // station off 50 m
  p.train = edit(p.train, 65, "6400", "4610");   // signal on a signal
  p.train = edit(p.train, 102, "65550", "64210");  // signal on a signal
  const CheckResult r = check(p);
  // The line stage skips the rest of the line source at its fault 15 and
  // the train stage ends at its fault 8: both in the first compile.
  expect_diagnostics(r, {{"fault-15", 'L', 24, 13},
                         {"fault-6", 'L', 120, 23, true},
                         {"fault-8", 'T', 39, 13},
                         {"fault-16", 'T', 65, 12, true},
                         {"fault-16", 'T', 102, 11, true}});
  EXPECT_EQ(r.recovery_compiles, 4);
  // The model is still the compile of the sources as given.
  EXPECT_EQ(r.model.error_code, 8);
  EXPECT_EQ(r.model.fault_log.size(), 2u);

  // The cap stops the search.
  CheckOptions capped;
  capped.max_errors = 2;
  const CheckResult few = check(p, capped);
  EXPECT_EQ(few.errors(), 2);
  EXPECT_TRUE(few.truncated);
}

}  // namespace
}  // namespace scenc::tools
