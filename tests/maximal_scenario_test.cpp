// The generated maximal scenario that the benchmarks time: it must compile
// and finish without a fault, and hold what it claims to hold, or the
// timings would be of an error path.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "child_process.h"
#include "testing/generate_scenario.h"
#include "scenario/build_run.h"
#include "sha256.h"

namespace scenc {
namespace {

// The bytes that computing every metre from the two stored before it, and
// writing value by value, gave: a million metres of straight runs and
// curves of every class, so any faster path must land on the same doubles.
const std::map<std::string, std::string> kDigests = {
    {"Massima_linea.dat",
     "f9be7f2662bb170032b4c371dc6f3d7e17fb7f69dc08316da83dc106040c10d0"},
    {"Massima_10001.sim",
     "97f46c91b80f78fcbc46b9e821d6aebbbcc074bfb55ab338198f9e99583d9494"},
    {"Massima_10001.dat",
     "a7f324b5d3d0f9fa62ed90461e310fbe79dc2cc9e5bd2dd33c9d8102d0dcd283"},
};

TEST(MaximalScenario, CompilesCleanAtTheLimitsOfGridAndSlots) {
  const bench::MaximalScenario s = bench::generate_maximal_scenario();
  Model model;
  model.line_name = "Massima";
  model.train_number = "10001";
  MemorySources sources(s.line_source, s.train_source);
  MemoryDirectory out;
  const BuildOutcome outcome = memorizza_percorso(model, 1, sources, out);

  ASSERT_EQ(outcome.error_exit, 0);
  EXPECT_EQ(model.error_code, 0);
  for (const FaultRecord& f : model.fault_log) {
    ADD_FAILURE() << "fault " << f.code << " at line " << f.place.line;
  }

  // The densities the scenario promises.
  EXPECT_EQ(s.length, 1000000);
  EXPECT_EQ(s.gradient_rows, 2000);
  EXPECT_EQ(s.curves, 1000);
  EXPECT_EQ(s.boards, 500);
  EXPECT_EQ(s.mountains, 25);
  EXPECT_EQ(s.signboards, 8);
  EXPECT_EQ(s.stations, bench::most_stations(8));
  EXPECT_EQ(s.signals, 666);
  EXPECT_EQ(s.slow_orders, 50);

  // Every row reached the grid: one cell per signal, board, signboard and
  // slow-order start; stations fill the slots up to the signboard texts.
  std::map<int, int> kinds;
  for (const TrackCell& c : model.track_cells) ++kinds[c.kind];
  EXPECT_EQ(kinds[cell_kind::kSignal], s.signals);
  EXPECT_EQ(kinds[cell_kind::kSpeedBoard], s.boards);
  EXPECT_EQ(kinds[cell_kind::kSignboard], s.signboards);
  EXPECT_EQ(kinds[cell_kind::kSlowOrderStart], s.slow_orders);
  EXPECT_GT(kinds[cell_kind::kMountainMarker], 0);
  EXPECT_GT(kinds[cell_kind::kAbbattimento], 3 * s.slow_orders);
  EXPECT_EQ(model.scenario_slots[static_cast<std::size_t>(s.stations)].name, "STAZIONE 70");
  EXPECT_EQ(model.scenario_slots[static_cast<std::size_t>(s.stations) + 1].name, "");
  EXPECT_EQ(model.scenario_slots[80 - 8 + 1].name.substr(0, 8), "(  Km. )");

  // The geometry file of a 1,000,000 m line, with both last metres empty.
  EXPECT_EQ(model.last_cell(), 20140);
  const std::string& geometry = out.files.at("Massima_linea.dat");
  EXPECT_EQ(geometry.size(), 20u * 1000000u + 139964u);

  for (const auto& [name, digest] : kDigests) {
    EXPECT_EQ(testing::sha256_hex(out.files.at(name)), digest) << name;
  }
}

// scenarioc compile writes the same bytes to disk: sources this large make
// it lay its heap in huge pages, the check runs beside the compile, and the
// geometry file goes out in chunks, its y values each at their place.
TEST(MaximalScenario, ScenariocCompileWritesTheSameFiles) {
  namespace fs = std::filesystem;
  std::string pattern = (fs::temp_directory_path() / "maximal.XXXXXX");
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  const bench::MaximalScenario s = bench::generate_maximal_scenario();
  std::ofstream(dir / "Massima_linea.txt", std::ios::binary) << s.line_source;
  std::ofstream(dir / "Massima_10001-.txt", std::ios::binary) << s.train_source;
  testing::ChildProcess compile(
      {std::string(SCENARIO_BIN_DIR) + "/scenarioc", "compile",
       (dir / "Massima_linea.txt").string(),
       (dir / "Massima_10001-.txt").string(), "-o", (dir / "out").string()},
      {});
  EXPECT_EQ(compile.wait_for_exit(std::chrono::seconds(60)), 0)
      << compile.stderr_text();
  for (const auto& [name, digest] : kDigests) {
    EXPECT_EQ(testing::sha256_hex(testing::read_file(dir / "out" / name)),
              digest)
        << name;
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace scenc
