// The generated maximal scenario that the benchmarks time: it must compile
// and finish without a fault, and hold what it claims to hold, or the
// timings would be of an error path.
#include <gtest/gtest.h>

#include <map>

#include "app/memorizza_percorso.h"
#include "bench/generate_scenario.h"

namespace scenc {
namespace {

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
  EXPECT_EQ(out.files.at("Massima_linea.dat").size(), 20u * 1000000u + 139964u);
}

}  // namespace
}  // namespace scenc
