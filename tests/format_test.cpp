// The formatter never changes what the compiler reads: the embedded sources
// stand as they are, random source pairs and sources laid out badly on
// purpose compile to the same bytes formatted, and formatting twice
// changes nothing. Rows it cannot vouch for stay as they stand, with the
// reason.
#include "tools/format/format.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "output/output_directory.h"
#include "scenario/build_run.h"
#include "testing/embedded_sources.h"
#include "testing/random_sources.h"
#include "tools/check/check.h"

namespace scenc::tools {
namespace {

using Pair = testing::SourceTexts;
using testing::embedded_source_texts;

// What a build of two sources leaves: its fault, its error exit, its files.
struct Built {
  std::int32_t error_code = 0;
  std::int32_t error_position = 0;
  std::int32_t error_exit = 0;
  std::map<std::string, std::string> files;
  bool operator==(const Built&) const = default;
};

Built build(const Pair& p, std::int32_t write_line_file = 1,
            bool line_missing = false) {
  Model model;
  model.line_name = "Firenze_Pisa";
  model.train_number = "11711";
  MemorySources sources;
  if (!line_missing) sources.line = p.line;
  sources.train = p.train;
  MemoryDirectory out;
  const BuildOutcome o = memorizza_percorso(model, write_line_file, sources, out);
  return {model.error_code, model.error_position, o.error_exit, out.files};
}

struct Formatted {
  Pair pair;
  FormatResult result;
};

Formatted format(const Pair& p) {
  Formatted f{{}, format_sources(p.line, p.train, "Firenze_Pisa", "11711")};
  f.pair = {apply_edits(p.line, f.result.line.edits),
            apply_edits(p.train, f.result.train.edits)};
  return f;
}

std::string reasons(const FormattedSource& s) {
  std::string out;
  for (const LeftAsItStands& l : s.left) {
    out += std::to_string(l.line) + ": " + l.reason + "\n";
  }
  return out;
}

TEST(Format, LeavesTheEmbeddedSourcesAsTheyStand) {
  const Formatted f = format(embedded_source_texts());
  EXPECT_TRUE(f.result.line.already_formatted());
  EXPECT_TRUE(f.result.train.already_formatted());
  EXPECT_TRUE(f.result.line.left.empty()) << reasons(f.result.line);
  EXPECT_TRUE(f.result.train.left.empty()) << reasons(f.result.train);
}

// Both sources formatted: the same build, and nothing more to do. A pair
// "compiles" when its build writes files, faults or not.
void expect_safe_and_settled(const Pair& p, std::int32_t write_line_file,
                             bool line_missing, const std::string& what) {
  const Formatted once = format(p);
  for (const FormattedSource* s : {&once.result.line, &once.result.train}) {
    for (const LeftAsItStands& l : s->left) {
      ASSERT_NE(l.line, 0) << what << ": " << l.reason;
    }
  }
  ASSERT_EQ(build(once.pair, write_line_file, line_missing),
            build(p, write_line_file, line_missing))
      << what;
  const Formatted twice = format(once.pair);
  EXPECT_TRUE(twice.result.line.already_formatted()) << what;
  EXPECT_TRUE(twice.result.train.already_formatted()) << what;
}

TEST(Format, RandomPairsCompileToTheSameBytesAndSettleAtOnce) {
#ifdef SCENARIO_SANITIZED
  const bench::SeedRange seeds = bench::seeds_from_environment(120);
#else
  const bench::SeedRange seeds = bench::seeds_from_environment(1160);
#endif
  std::uint64_t with_files = 0;
  std::uint64_t changed = 0;
  for (std::uint64_t s = seeds.first; s < seeds.first + seeds.count; ++s) {
    const bench::SourcePair p = bench::random_source_pair(s);
    const std::string what = "seed " + std::to_string(s) + " (" + p.how + ")";
    const Pair given{p.line, p.train};
    if (!p.line_missing && build(given, p.write_line_file).error_exit == 0) {
      ++with_files;
    }
    expect_safe_and_settled(given, p.write_line_file, p.line_missing, what);
    if (p.restyled()) {
      const Pair restyled{p.line_restyled, p.train_restyled};
      changed += format(restyled).result.train.already_formatted() ? 0 : 1;
      expect_safe_and_settled(restyled, p.write_line_file, p.line_missing,
                              what + ", restyled");
    }
    if (HasFatalFailure()) return;
  }
#ifndef SCENARIO_SANITIZED
  EXPECT_GE(with_files, 1000u);
#endif
  EXPECT_GT(changed, 0u);
}

// ---- The last guard ---------------------------------------------------------

CheckResult first_compile(const Pair& p) {
  CheckOptions o;
  o.recover = false;
  return check_sources(p.line, p.train, "Firenze_Pisa", "11711", o);
}

// The guard compares the plan of the line by how it was drawn, not by its
// million metres: it must still tell every change that reaches the files,
// those that reach the geometry alone above all, and never one that does
// not. Each case is an edit of the embedded sources; the guard's answer
// must be the answer of the whole files compared byte for byte.
struct GuardCase {
  const char* what;
  bool train;  // the edit is in the train source
  const char* from;
  const char* to;
  bool same;  // the files stay the same
};
const GuardCase kGuardCases[] = {
    {"a curve's start", false, "curvas2,   700,  100", "curvas2,   701,  100",
     false},
    {"a curve's length", false, "curvas2,   700,  100", "curvas2,   700,  101",
     false},
    {"a curve's class", false, "curvas2,   700", "curvas3,   700", false},
    {"a curve's side", false, "curvas2,   700", "curvad2,   700", false},
    {"the line's length", false, "lunghezza percorso,    82000",
     "lunghezza percorso,    82001", false},
    {"a gradient", false, "pendenza  , 300    , 4", "pendenza  , 300    , 5",
     false},
    {"a slow order's speed", true, "rallentamento,  9300, 30",
     "rallentamento,  9300, 40", false},
    {"a station's name", true, "FIRENZE", "FIRENZA", false},
    {"a curve laid out again", false, "curvas2,   700,  100",
     "curvas2, 700, 100", true},
    {"a gradient laid out again", false, "pendenza  , 300    , 4",
     "   pendenza, 300, 4", true},
    {"a comment", true, "[segnali]", "- nuovi\r\n[segnali]", true},
};

TEST(Format, TheLastGuardTellsEveryChangeOfWhatTheCompilerReads) {
  const Pair given = embedded_source_texts();
  const CheckResult before = first_compile(given);
  EXPECT_TRUE(compiles_to_the_same(before, given.line, given.train));
  for (const GuardCase& c : kGuardCases) {
    Pair after = given;
    std::string& source = c.train ? after.train : after.line;
    const std::size_t at = source.find(c.from);
    ASSERT_NE(at, std::string::npos) << c.what;
    source.replace(at, std::string_view(c.from).size(), c.to);
    ASSERT_EQ(build(after) == build(given), c.same) << c.what;
    EXPECT_EQ(compiles_to_the_same(before, after.line, after.train), c.same)
        << c.what;
  }
}

TEST(Format, TheLastGuardAgreesWithTheFilesOnRandomPairs) {
  // Each pair against itself restyled, and against the next pair: the
  // guard says the same as the files compared whole.
#ifdef SCENARIO_SANITIZED
  constexpr std::uint64_t kSeeds = 8;
#else
  constexpr std::uint64_t kSeeds = 40;
#endif
  int different = 0;
  for (std::uint64_t s = 1; s <= kSeeds; ++s) {
    const bench::SourcePair p = bench::random_source_pair(s);
    const bench::SourcePair next = bench::random_source_pair(s + 1);
    if (p.line_missing || next.line_missing || p.write_line_file == 0 ||
        next.write_line_file == 0) {
      continue;
    }
    const Pair given{p.line, p.train};
    const CheckResult before = first_compile(given);
    const Built built = build(given);
    for (const Pair& other :
         {Pair{p.line_restyled, p.train_restyled}, Pair{next.line, next.train},
          Pair{p.line, next.train}}) {
      if (other.line.empty() && other.train.empty()) continue;
      const bool same = build(other) == built;
      different += same ? 0 : 1;
      EXPECT_EQ(compiles_to_the_same(before, other.line, other.train), same)
          << "seed " << s;
    }
  }
  EXPECT_GT(different, static_cast<int>(kSeeds) / 2);
}

// ---- Sources laid out badly on purpose -------------------------------------

const char* const kLine =
    "Linea\r\n"
    "[generale]\r\n"
    "lunghezza percorso, 20000\r\n"
    "[pendenze]\r\n";
const char* const kLineEnd = "[fine]\r\n";
const char* const kTrainHead =
    "Treno\r\n"
    "[generale]\r\n"
    "numero vetture, 6\r\n"
    "[aderenze]\r\n"
    "aderenza, 0, 100\r\n"
    "[vel_limite]\r\n"
    "velocita' limite, 0, 100\r\n"
    "[segnali]\r\n";

struct LayoutCase {
  const char* what;
  const char* rows;      // the body rows of the line source, as written
  const char* expected;  // as formatted
  const char* reason;    // the reason a line is left as it stands, or null
};

const LayoutCase kLayoutCases[] = {
    {"rows joined on a line go one a line, aligned",
     "pendenza, 300, 4, pendenza, 12000, -4\r\n",
     "pendenza,   300,  4\r\npendenza, 12000, -4\r\n", nullptr},
    {"a row over two lines is joined",
     "pendenza, 300\r\n4\r\npendenza, 500, 0\r\n",
     "pendenza, 300, 4\r\npendenza, 500, 0\r\n", nullptr},
    {"a row not in the first column moves there, its section aligned",
     "  pendenza,300,4\r\npendenza, 12000, 0\r\n",
     "pendenza,   300, 4\r\npendenza, 12000, 0\r\n", nullptr},
    {"numbers apart by blanks alone get commas; a blank at the end goes",
     "  pendenza, 300    4 \r\n",
     "pendenza, 300, 4\r\n", nullptr},
    {"comments and blank lines stay where they stand",
     "- salita\r\n   pendenza, 300, 4\r\n\r\n- piano\r\npendenza, 500, 0\r\n",
     "- salita\r\npendenza, 300, 4\r\n\r\n- piano\r\npendenza, 500, 0\r\n",
     nullptr},
    {"LF line ends stay LF", "pendenza, 300, 4, pendenza, 500, 0\n",
     "pendenza, 300, 4\npendenza, 500, 0\n", nullptr},
    {"a number that reads as 0 keeps its row as written",
     "  pendenza, 2.5, 4\r\n", "  pendenza, 2.5, 4\r\n",
     "its position is not a whole number and reads as 0"},
    {"an empty number keeps its row as written",
     "  pendenza, , 4\r\n", "  pendenza, , 4\r\n",
     "its position is empty and reads as 0"},
    {"fields no row reads keep their line",
     "  pendenza, 300, 4, 7\r\n", "  pendenza, 300, 4, 7\r\n",
     "its line holds fields no row reads"},
    {"a row with a fault stays as written, the others are laid out",
     "  cartello indicatore, 1000, A\r\n  cartello indicatore, 1010, B\r\n",
     "cartello indicatore, 1000, A\r\n  cartello indicatore, 1010, B\r\n",
     "the row raised a fault"},
    {"a text keeps its blanks and its quotes",
     "cartello indicatore,  1000, \"Km, 1\"\r\n   cartello indicatore, 3000, B  \r\n",
     "cartello indicatore, 1000, \"Km, 1\"\r\ncartello indicatore, 3000, B  \r\n",
     nullptr},
};

TEST(Format, LaysOutWhatTheAccountVouchesForAndSaysWhyNotTheRest) {
  for (const LayoutCase& c : kLayoutCases) {
    const std::string line = std::string(kLine) + c.rows + kLineEnd;
    const std::string expected = std::string(kLine) + c.expected + kLineEnd;
    const Pair p{line, std::string(kTrainHead) + "[fine]\r\n"};
    const Formatted f = format(p);
    EXPECT_EQ(f.pair.line, expected) << c.what;
    const std::string why = reasons(f.result.line);
    if (c.reason != nullptr) {
      EXPECT_NE(why.find(c.reason), std::string::npos) << c.what << ": " << why;
    } else {
      EXPECT_EQ(why, "") << c.what;
    }
    expect_safe_and_settled(p, 1, false, c.what);
  }
}

TEST(Format, LeavesARowThatRunsIntoTheNextAsItStands) {
  // The first signal is one field short: it takes the next row's keyword as
  // its last number, and that row is lost.
  const Pair p{std::string(kLine) + kLineEnd,
               std::string(kTrainHead) +
                   "  segnale, 1000, 1, 4, 1, 0, 0, 0, 0, 0, 0\r\n"
                   "segnale, 2000, 2, 4, 1, 0, 0, 0, 0, 0, 0, 0\r\n"
                   "  segnale, 3000, 2, 4, 1, 0, 0, 0, 0, 0, 0, 0\r\n"
                   "[fine]\r\n"};
  const Formatted f = format(p);
  EXPECT_NE(f.pair.train.find("  segnale, 1000, 1, 4, 1, 0, 0, 0, 0, 0, 0\r\n"
                              "segnale, 2000,"),
            std::string::npos)
      << f.pair.train;
  EXPECT_NE(f.pair.train.find("\r\nsegnale, 3000,"), std::string::npos)
      << f.pair.train;
  EXPECT_NE(reasons(f.result.train).find("9: its tempo is not a whole number"),
            std::string::npos)
      << reasons(f.result.train);
  expect_safe_and_settled(p, 1, false, "a signal one field short");
}

TEST(Format, TheEmbeddedSourcesLaidOutBadlyCompileAsBefore) {
  // Every row moved in by blanks, and the signals joined two to a line.
  const Pair given = embedded_source_texts();
  Pair bad;
  for (const auto& [from, to] :
       {std::pair{&given.line, &bad.line}, std::pair{&given.train, &bad.train}}) {
    std::size_t at = 0;
    bool join = false;
    while (at < from->size()) {
      const std::size_t end = from->find("\r\n", at);
      const std::string line = from->substr(at, end - at);
      const bool row = line.find(',') != std::string::npos && line[0] != '-';
      if (row && join && line.starts_with("segnale")) {
        to->resize(to->size() - 2);
        *to += ", " + line + "\r\n";
        join = false;
      } else {
        *to += (row ? "   " : "") + line + "\r\n";
        join = line.starts_with("segnale");
      }
      at = end + 2;
    }
  }
  ASSERT_EQ(build(bad), build(given));
  const Formatted f = format(bad);
  EXPECT_FALSE(f.result.line.already_formatted());
  EXPECT_FALSE(f.result.train.already_formatted());
  EXPECT_EQ(f.pair.train.find("   segnale"), std::string::npos);
  expect_safe_and_settled(bad, 1, false, "the embedded sources laid out badly");
}

}  // namespace
}  // namespace scenc::tools
