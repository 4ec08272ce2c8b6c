// Decompiled sources compiled again give the same files, byte for byte: for
// the embedded scenario, the maximal one (with and without its line
// geometry) and the random source pairs that compile without a fault. A
// pair that does not round-trip must have been told apart by a warning of
// the decompile, never silently; decompiling the files of decompiled
// sources gives the same sources again.
//
// DECOMPILE_PAIRS_COUNT and DECOMPILE_PAIRS_SEED set how many fault-free
// random pairs a run decompiles and the seed it starts from: the ordinary
// run takes 200 (about a fifth of the seeds compile without a fault); the
// full one, by hand, DECOMPILE_PAIRS_COUNT=2000 (seeds 0 to about 10,500).
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <string>

#include "scenario/build_run.h"
#include "scenario/emitters.h"
#include "testing/generate_scenario.h"
#include "testing/random_sources.h"
#include "tools/decompile/decompile.h"

namespace scenc::tools {
namespace {

#ifdef SCENARIO_SANITIZED
constexpr std::uint64_t kDefaultPairs = 30;
#else
constexpr std::uint64_t kDefaultPairs = 200;
#endif

std::uint64_t from_environment(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10)
                                          : fallback;
}

struct RoundTrip {
  CompiledInMemory compiled;
  DecompiledScenario first;
  // The decompiled sources, compiled here apart from the decompile's own
  // check, give the files compiled from the original sources.
  bool same_again = false;
  DecompiledScenario second;  // of the files the first sources compile to
};

bool same_files(const ScenarioBytes& a, const ScenarioBytes& b) {
  return a.slots == b.slots && a.cells == b.cells && a.geometry == b.geometry;
}

// Compiles the sources, decompiles the files, compiles the decompiled
// sources and, where they do not give the same files or `always_again`,
// decompiles those files again. Where they do, the second decompile reads
// the very same bytes as the first and gives the same sources.
RoundTrip round_trip(const std::string& line, const std::string& train,
                     const std::string& line_name,
                     const std::string& train_number,
                     std::int32_t write_line_file, bool always_again) {
  RoundTrip t;
  t.compiled =
      compile_in_memory(line, train, line_name, train_number, write_line_file);
  t.first = decompile(decode_scenario(t.compiled.files), t.compiled.files);
  const CompiledInMemory again = compile_in_memory(
      t.first.line_source, t.first.train_source, t.first.line_name,
      t.first.train_number, t.first.with_geometry ? 1 : 0);
  t.same_again = same_files(again.files, t.compiled.files);
  if (always_again || !t.same_again) {
    t.second = again.error_exit == 0
                   ? decompile(decode_scenario(again.files), again.files)
                   : DecompiledScenario{};
  } else {
    t.second = t.first;
  }
  return t;
}

std::string notes_text(const DecompiledScenario& d) {
  std::string text;
  for (const DecompileNote& n : d.notes) {
    text += "\n  " + n.record + ": " + n.message;
  }
  return text;
}

void expect_exact(const RoundTrip& t) {
  EXPECT_TRUE(t.first.same_bytes) << notes_text(t.first);
  EXPECT_TRUE(t.same_again);
  EXPECT_FALSE(t.first.has_doubts()) << notes_text(t.first);
  EXPECT_EQ(t.first.line_source, t.second.line_source);
  EXPECT_EQ(t.first.train_source, t.second.train_source);
}

TEST(DecompileRoundTrip, EmbeddedScenarioWithAndWithoutGeometry) {
  for (std::int32_t geometry : {1, 0}) {
    SCOPED_TRACE(geometry);
    const RoundTrip t =
        round_trip(embedded_line_source(), embedded_train_source(),
                   std::string(kEmbeddedLineName),
                   std::string(kEmbeddedTrainNumber), geometry, true);
    expect_exact(t);
    EXPECT_EQ(t.first.line_source_name, "Firenze_Pisa_linea.txt");
    EXPECT_EQ(t.first.train_source_name, "Firenze_Pisa_11711-.txt");
  }
}

TEST(DecompileRoundTrip, MaximalScenarioWithAndWithoutGeometry) {
  const bench::MaximalScenario s = bench::generate_maximal_scenario();
  for (std::int32_t geometry : {1, 0}) {
    SCOPED_TRACE(geometry);
    expect_exact(round_trip(s.line_source, s.train_source, "Massima", "10001",
                            geometry, true));
  }
}

TEST(DecompileRoundTrip, RandomPairsThatCompileWithoutAFault) {
  const std::uint64_t first = from_environment("DECOMPILE_PAIRS_SEED", 0);
  const std::uint64_t count =
      from_environment("DECOMPILE_PAIRS_COUNT", kDefaultPairs);
  std::uint64_t clean = 0;
  std::uint64_t exact = 0;
  std::map<std::string, std::uint64_t> reasons;
  std::uint64_t seed = first;
  for (; clean < count; ++seed) {
    const bench::SourcePair p = bench::random_source_pair(seed);
    if (p.line_missing) continue;
    const CompiledInMemory c = compile_in_memory(
        p.line, p.train, p.line_name, p.train_number, p.write_line_file);
    if (c.error_code != 0 || c.error_exit != 0) continue;
    ++clean;
    const RoundTrip t = round_trip(p.line, p.train, p.line_name, p.train_number,
                                   p.write_line_file, false);
    EXPECT_EQ(t.first.same_bytes, t.same_again) << "seed " << seed;
    EXPECT_EQ(t.first.line_source, t.second.line_source) << "seed " << seed;
    EXPECT_EQ(t.first.train_source, t.second.train_source) << "seed " << seed;
    if (t.first.same_bytes) {
      ++exact;
      continue;
    }
    // What the decompile warned of first is the reason it gives.
    std::string reason = "no warning";
    for (const DecompileNote& n : t.first.notes) {
      if (n.severity == DecompileNote::Severity::kWarning) {
        reason = n.message;
        break;
      }
    }
    ++reasons[reason];
    EXPECT_NE(reason, "no warning")
        << "seed " << seed << " (" << p.how
        << ") does not round-trip, silently:" << notes_text(t.first);
  }
  std::cout << "decompile round trip: " << exact << " of " << clean
            << " fault-free pairs (of seeds " << first << " to " << seed - 1
            << ") give the same files\n";
  for (const auto& [reason, n] : reasons) {
    std::cout << "  " << n << " not: " << reason << "\n";
  }
}

}  // namespace
}  // namespace scenc::tools
