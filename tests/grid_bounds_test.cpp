// Rows whose marks would reach cells outside the grid 0..N. A row that would
// place a mark outside fails the range rule before it writes anything; the
// mountain cells and the speed and adhesion fills write what fits. Run under
// AddressSanitizer in CI, these also show that nothing outside the arrays is
// touched.
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "compile_fixture.h"

namespace scenc {
namespace {

using testing::compile;
using testing::line_source;
using testing::lines;
using testing::train_source;

// On the 82000 m line: N = 1780, and positions up to 88900 m pass the range
// rule.
const std::string kLine = line_source("");
// Rows before the one under test, so that the fills have something to carry.
const std::string kBefore =
    lines({"aderenza, 0, 100", "velocita' limite, 0, 60",
           "velocita' limite, 3000, 100"});

TEST(GridBounds, MarksThatWouldLeaveTheGridFailTheRangeRuleWritingNothing) {
  const struct {
    const char* row;
    int position;
  } cases[] = {
      {"segnale, -76, 2, 4, 1, 0, 0, 2, 2, 1, 0, 250", -76},
      {"abbattimento, -26, 80", -26},
      {"rallentamento, -76, 30, 50, 0, 1, 0", -76},
      // End cell below 0, and beyond N.
      {"rallentamento, 100, 30, -200, 0, 1, 0", 100},
      {"rallentamento, 88800, 30, 500, 0, 1, 0", 88800},
      // Station markers 100 m before the end of the extent, beyond N.
      {"stazione, 88000, 8, 1200, 0,0,0, 0,0,0, 0,0,0, 0, 0,0,0, FAR", 88000},
      {"stazione, 88000, 2, 3000, 0,0,0, 0,0,0, 0,0,0, 0, 0,0,0, FAR", 88000},
  };
  const auto without = compile(kLine, train_source(kBefore));
  ASSERT_EQ(without.model.error_code, 0);
  for (const auto& k : cases) {
    const auto with = compile(
        kLine, train_source(kBefore + lines({k.row, "numero vetture, 6"})));
    EXPECT_EQ(with.model.error_code, 15) << k.row;
    EXPECT_EQ(with.model.error_position, k.position) << k.row;
    // The fills still ran, from where the rows before left them, and the
    // rows after were not read.
    EXPECT_EQ(with.model.track_cells, without.model.track_cells) << k.row;
    EXPECT_EQ(with.slot(84).num3, 0) << k.row;
    EXPECT_TRUE(with.sources.train_removed) << k.row;
  }
}

TEST(GridBounds, MarksAtTheLowestCellsLeaveOutWhatFallsBelowTheGrid) {
  const auto c =
      compile(kLine, train_source(lines({
                         "SEGNALE, -75, 2, 4, 1, 0, 0, 2, 2, 1, 0, 250",
                         "segnale, 100, 1, 4, 1, 0, 0, 0, 0, 0, 0, 0",
                         "abbattimento, -25, 80",
                     })));
  ASSERT_EQ(c.model.error_code, 7);  // -25 m rounds to cell 0, the signal's
  EXPECT_EQ(c.model.error_position, -25);
  EXPECT_EQ(c.cell(0).kind, cell_kind::kSignal);
  EXPECT_EQ(c.cell(0).signal_time, 250);
  // The signal at 100 m stands on cell 3: of its approach cells only cell 1
  // exists.
  EXPECT_EQ(c.cell(3).kind, cell_kind::kSignal);
  EXPECT_EQ(c.cell(1).approach, 31);
  EXPECT_EQ(c.cell(0).approach, 0);

  const auto a = compile(kLine, train_source(lines({"abbattimento, -25, 80"})));
  EXPECT_EQ(a.model.error_code, 0);
  EXPECT_EQ(a.cell(0).kind, cell_kind::kAbbattimento);
  EXPECT_EQ(a.cell(0).value1, 80);
}

TEST(GridBounds, SpeedAndAdhesionFillsStopAtTheLastCell) {
  // A line of 0 m has N = 140; 300 rows that repeat a position each push
  // both cursors one cell on, far past N.
  std::string rows;
  for (int i = 0; i < 300; ++i)
    rows += lines({"velocita' limite, 50, 100", "aderenza, 50, 90"});
  const auto c = compile(line_source("", 0), train_source(rows));
  ASSERT_EQ(c.model.error_code, 0);
  ASSERT_EQ(c.model.last_cell(), 140);
  for (int i = 1; i <= 140; ++i) {
    EXPECT_EQ(c.cell(i).speed_limit, 20) << i;
    EXPECT_EQ(c.cell(i).adhesion, 90) << i;
  }
}

TEST(GridBounds, MountainCellsOutsideTheGridAreLeftOut) {
  const auto c = compile(line_source(lines({"montagna, -1000, 500, 12",
                                            "montagna, 88000, 2000000, 1"})),
                         train_source(""));
  ASSERT_EQ(c.model.error_code, 0);
  ASSERT_EQ(c.model.last_cell(), 1780);
  // Cells -20 to 9: those from 0 get the type; every fourth counted from
  // cell -20 (cells 3 and 7) becomes a marker.
  for (int i = 0; i <= 9; ++i) EXPECT_EQ(c.cell(i).mountain, 2) << i;
  EXPECT_EQ(c.cell(10).mountain, 0);
  EXPECT_EQ(c.cell(3).kind, cell_kind::kMountainMarker);
  EXPECT_EQ(c.cell(7).kind, cell_kind::kMountainMarker);
  EXPECT_EQ(c.cell(4).kind, cell_kind::kFree);
  // Cells 1760 up to N, nothing beyond.
  EXPECT_EQ(c.cell(1759).mountain, 0);
  for (int i = 1760; i <= 1780; ++i) EXPECT_EQ(c.cell(i).mountain, 1) << i;
}

TEST(GridBounds, ClosingFillsWithoutAGridAreTheGeneralFailure) {
  const auto c =
      compile(lines({"[generale]", "sfondo uno, 1", "[pendenze]", "[fine]"}),
              train_source(""));
  EXPECT_EQ(c.model.error_code, 25);
  EXPECT_FALSE(c.model.has_track_cells());
  EXPECT_TRUE(c.sources.line_removed);
  EXPECT_TRUE(c.sources.train_removed);
}

TEST(GridBounds, TheLastLengthRowSizesTheGridOnEveryWayOutOfTheGeneralSection) {
  const struct {
    const char* what;
    std::vector<std::string_view> general_rows;  // after a row of 1000 m
    int fault;
    int length;  // the grid and plan are those of this length
  } cases[] = {
      {"a second length row",
       {"lunghezza percorso, 2000", "[pendenze]"},
       0,
       2000},
      {"the end of the source", {"lunghezza percorso, 2000"}, 0, 2000},
      {"a length over 1000000", {"lunghezza percorso, 1000001"}, 1, 1000},
      {"a repetition fault", {"ripetizione segnali 4, 4675, 0"}, 3, 1000},
      {"the general failure", {"sfondo uno, 99999999999"}, 25, 1000},
  };
  for (const auto& k : cases) {
    std::string line = lines({"[generale]", "lunghezza percorso, 1000"});
    for (std::string_view row : k.general_rows) line += lines({row});
    const auto c = compile(line, train_source(""));
    EXPECT_EQ(c.model.error_code, k.fault) << k.what;
    EXPECT_EQ(c.model.last_cell(), last_cell_for_length(k.length)) << k.what;
    EXPECT_EQ(c.model.line_profile.metre_count(), k.length + 7001) << k.what;
  }
}

}  // namespace
}  // namespace scenc
