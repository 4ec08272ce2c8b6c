// The author check against the compile it words. Re-laying out the rows of
// a source in ways the compiler cannot see (rows joined on one line, a row
// split over lines where a comma stood, blanks added before fields) leaves
// the files, the faults and every warning about what the rows mean as they
// were; and every fault the compile records is reported at its row and
// field with its position. Over the embedded, the maximal and random source
// pairs: a share in the ordinary run, as many as RANDOM_SOURCES_COUNT says
// in a longer one (RANDOM_SOURCES_COUNT=1000 for the full thousand).
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "output/output_directory.h"
#include "scenario/build_run.h"
#include "scenario/emitters.h"
#include "testing/generate_scenario.h"
#include "testing/random_sources.h"
#include "tools/check/check.h"

namespace scenc::tools {
namespace {

#ifdef SCENARIO_SANITIZED
constexpr std::uint64_t kDefaultCount = 30;
#else
constexpr std::uint64_t kDefaultCount = 150;
#endif

// A source re-laid out, and for each of its bytes the byte of the source
// it came from (an inserted blank: the byte it stands before).
struct Relaid {
  std::string text;
  std::vector<std::size_t> from;
};

enum class Relayout { kJoin, kSplit, kSpace };

// Re-lays out `text` (CR LF line ends) where the compiler reads the same
// fields either way, at about one place in three: a line end that follows
// no blank becomes a comma (kJoin), a comma that follows no blank becomes
// a line end (kSplit), blanks go in after commas and at line starts
// (kSpace). Lines that hold a quote are left as they are: a quoted field
// runs over line ends.
Relaid relaid(const std::string& text, Relayout how, std::mt19937& random) {
  Relaid out;
  const auto keep = [&](std::size_t i) {
    out.text.push_back(text[i]);
    out.from.push_back(i);
  };
  const auto put = [&](std::string_view s, std::size_t at) {
    for (const char c : s) {
      out.text.push_back(c);
      out.from.push_back(at);
    }
  };
  std::size_t line_start = 0;
  bool quoted_line = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i == line_start) {
      const std::size_t end = text.find("\r\n", i);
      quoted_line =
          text.substr(i, end == std::string::npos ? std::string::npos : end - i)
              .find('"') != std::string::npos;
      // The next line too, for a join that would bring it onto this one.
      if (end != std::string::npos) {
        const std::size_t next_end = text.find("\r\n", end + 2);
        quoted_line = quoted_line ||
                      text.substr(end + 2, next_end == std::string::npos
                                               ? std::string::npos
                                               : next_end - end - 2)
                              .find('"') != std::string::npos;
      }
      if (how == Relayout::kSpace && !quoted_line && random() % 3 == 0) {
        put("  ", i);
      }
    }
    const bool chosen = !quoted_line && random() % 3 == 0;
    const bool after_blank = i > line_start && text[i - 1] == ' ';
    if (text.compare(i, 2, "\r\n") == 0) {
      line_start = i + 2;
      if (how == Relayout::kJoin && chosen && !after_blank &&
          i + 2 < text.size()) {
        put(",", i);
        ++i;
        continue;
      }
      keep(i);
      keep(i + 1);
      ++i;
      continue;
    }
    if (text[i] == ',' && chosen && how == Relayout::kSplit && !after_blank) {
      put("\r\n", i);
      continue;
    }
    keep(i);
    if (text[i] == ',' && chosen && how == Relayout::kSpace) put("   ", i + 1);
  }
  out.from.push_back(text.size());
  return out;
}

// The byte a 1-based line and column of `text` stand on.
std::size_t offset_of(const std::string& text, std::int64_t line,
                      std::int64_t column) {
  std::size_t at = 0;
  for (std::int64_t l = 1; l < line; ++l) {
    const std::size_t end = text.find_first_of("\r\n", at);
    if (end == std::string::npos) return text.size();
    at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return std::min(text.size(), at + static_cast<std::size_t>(column - 1));
}

struct Pair {
  std::string what;
  std::string line;
  std::string train;
  std::string line_name = "Firenze_Pisa";
  std::string train_number = "11711";
  std::int32_t write_line_file = 1;
};

// What the check says of the rows' meaning and faults, each at the byte
// of the source as first written.
using Said = std::set<std::tuple<std::string, SourceKind, std::size_t>>;

struct Checked {
  CheckResult result;
  std::map<std::string, std::string> files;
  Said said;
};

Checked check(const Pair& p, const std::string& line, const std::string& train,
              const std::vector<std::size_t>* line_from,
              const std::vector<std::size_t>* train_from) {
  CheckOptions options;
  options.max_errors = 0;
  options.write_line_file = p.write_line_file;
  options.enabled.insert("curve-overlap");
  Checked c;
  c.result = check_sources(line, train, p.line_name, p.train_number, options);
  if (c.result.error_exit == 0) {
    MemoryDirectory out;
    write_scenario_files(c.result.model, out);
    c.files = out.files;
  }
  for (const AuthorDiagnostic& d : c.result.diagnostics) {
    if (d.severity == Severity::kWarning) {
      const WarningInfo* w = find_warning(d.check);
      if (w == nullptr || w->reads != WarningBasis::kAccount) continue;
    }
    if (d.line == 0) {
      c.said.insert({d.check, d.source, 0});
      continue;
    }
    const bool in_train = d.source == SourceKind::kTrain;
    const std::string& text = in_train ? train : line;
    const std::vector<std::size_t>* from = in_train ? train_from : line_from;
    std::size_t at = offset_of(text, d.line, d.column);
    if (from != nullptr) at = (*from)[at];
    c.said.insert({d.check, d.source, at});
  }
  return c;
}

std::string listing(const Said& said) {
  std::string s;
  for (const auto& [check, source, at] : said) {
    s += (source == SourceKind::kTrain ? "  T@" : "  L@") +
         std::to_string(at) + " " + check + "\n";
  }
  return s;
}

// Every fault the compile records, the error exit too, is an error of the
// check at the fault's field, with its number and position.
void expect_faults_told(const Pair& p, const CheckResult& r) {
  const Model& m = r.model;
  std::vector<FaultRecord> faults = m.fault_log;
  if (m.error_exit) faults.push_back(*m.error_exit);
  for (const FaultRecord& f : faults) {
    const bool told = std::any_of(
        r.diagnostics.begin(), r.diagnostics.end(),
        [&](const AuthorDiagnostic& d) {
          return d.severity == Severity::kError && d.code == f.code &&
                 (!f.field.known() ||
                  (d.source == f.field.source && d.line == f.field.line &&
                   d.column == f.field.column)) &&
                 d.position == f.position && !d.after_recovery;
        });
    EXPECT_TRUE(told) << p.what << ": fault " << f.code << " at "
                      << f.field.line << ":" << f.field.column;
  }
  if (r.error_exit != 0) {
    EXPECT_TRUE(std::any_of(
        r.diagnostics.begin(), r.diagnostics.end(),
        [&](const AuthorDiagnostic& d) { return d.code == r.error_exit; }))
        << p.what << ": error exit " << r.error_exit;
  }
}

// Returns whether the pair could be compared: whether each re-laid-out
// source compiled to the same files and faults (it does unless a field the
// re-layout touched reads otherwise, which the checks on it rule out).
int expect_layout_free(const Pair& p, std::uint64_t seed) {
  const Checked as_written = check(p, p.line, p.train, nullptr, nullptr);
  expect_faults_told(p, as_written.result);
  int compared = 0;
  std::mt19937 random(static_cast<std::uint32_t>(seed));
  for (const Relayout how : {Relayout::kJoin, Relayout::kSplit, Relayout::kSpace}) {
    const Relaid line = relaid(p.line, how, random);
    const Relaid train = relaid(p.train, how, random);
    const Checked again =
        check(p, line.text, train.text, &line.from, &train.from);
    const auto faults = [](const Model& m) {
      std::vector<std::pair<std::int32_t, std::optional<std::int32_t>>> out;
      for (const FaultRecord& f : m.fault_log) out.emplace_back(f.code, f.position);
      return out;
    };
    if (again.files != as_written.files ||
        again.result.error_exit != as_written.result.error_exit ||
        faults(again.result.model) != faults(as_written.result.model)) {
      ADD_FAILURE() << p.what << ": re-laid out (" << static_cast<int>(how)
                    << "), the compile differs";
      continue;
    }
    ++compared;
    EXPECT_EQ(listing(again.said), listing(as_written.said))
        << p.what << ", re-laid out (" << static_cast<int>(how)
        << ": 0 joined, 1 split, 2 spaced)";
  }
  return compared;
}

Pair embedded() {
  return {"embedded", embedded_line_source(), embedded_train_source()};
}

TEST(CheckAgainstTheCompile, EmbeddedAndMaximalSourcesWhateverTheirLayout) {
  Pair e = embedded();
  expect_layout_free(e, 1);
  // The embedded sources with a mistake in each of their row kinds: the
  // mountains the compile joins, a station off its grid, a speed not a
  // number, a curve inside the one before.
  Pair mistakes = e;
  mistakes.what = "embedded, with mistakes";
  const auto replace = [](std::string& text, const std::string& from,
                          const std::string& to) {
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
  };
  replace(mistakes.line, "montagna, 57050,57350,1", "montagna, 29300,29600,1");
  replace(mistakes.line, "1400,  100", "1200,  100");
  replace(mistakes.train, "7400,", "7425,");
  replace(mistakes.train, "115", "11S");
  expect_layout_free(mistakes, 2);
  const bench::MaximalScenario maximal = bench::generate_maximal_scenario();
  expect_layout_free({"maximal", maximal.line_source, maximal.train_source,
                      "Massima", "10001"},
                     3);
}

TEST(RandomSources, TheCheckSaysWhatTheCompileDidWhateverTheLayout) {
  const bench::SeedRange seeds = bench::seeds_from_environment(kDefaultCount);
  int pairs = 0;
  int compared = 0;
  for (std::uint64_t seed = seeds.first; seed - seeds.first < seeds.count;
       ++seed) {
    const bench::SourcePair p = bench::random_source_pair(seed);
    if (p.line_missing) continue;
    ++pairs;
    compared += expect_layout_free(
        {"seed " + std::to_string(seed) + " (" + p.how + ")", p.line, p.train,
         p.line_name, p.train_number, p.write_line_file},
        seed);
  }
  EXPECT_EQ(compared, 3 * pairs);
}

}  // namespace
}  // namespace scenc::tools
