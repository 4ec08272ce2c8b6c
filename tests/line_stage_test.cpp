#include <gtest/gtest.h>

#include "compile_fixture.h"
#include "scenario/emitters.h"

namespace scenc {
namespace {

using testing::compile;
using testing::lines;
using testing::line_source;
using testing::train_source;

constexpr int kUnchanged = -999999;

// A train source that compiles on any line and leaves a visible trace.
const std::string kTrain = train_source(lines({"numero vetture, 6"}));

std::vector<int> gradients(const Model& m, int from, int to) {
  std::vector<int> out;
  for (int i = from; i <= to; ++i) out.push_back(m.track_cells[static_cast<std::size_t>(i)].gradient);
  return out;
}

TEST(LineStage, EmbeddedLineCompilesIntoTheLine) {
  const auto c = compile(embedded_line_source(), kTrain);
  const Model& m = c.model;
  ASSERT_EQ(m.error_code, 0);
  EXPECT_EQ(c.slot(84).num2, 82000);
  ASSERT_EQ(m.last_cell(), 1780);
  EXPECT_EQ(m.line_profile.metre_count(), 89001);
  EXPECT_EQ(c.slot(85).name, "Firenze_Pisa");
  EXPECT_EQ((std::array{c.slot(85).num1, c.slot(85).num2, c.slot(85).num3}),
            (std::array{1, 0, 0}));
  EXPECT_EQ((std::array{c.slot(86).num1, c.slot(86).num2, c.slot(86).num3}),
            (std::array{4650, 79150, 4}));
  for (int s = 81; s <= 83; ++s) EXPECT_EQ(c.slot(s), ScenarioSlot{}) << s;

  // Gradients cell by cell, and the closing fill up to N - 3.
  const struct { int from, to, gradient; } runs[] = {
      {0, 5, 100}, {6, 9, 104}, {10, 39, 100}, {40, 45, 104}, {46, 79, 100},
      {80, 91, 96}, {1220, 1777, 100}, {1778, 1780, 0}};
  for (const auto& r : runs) {
    EXPECT_EQ(gradients(m, r.from, r.to),
              std::vector<int>(static_cast<std::size_t>(r.to - r.from + 1), r.gradient))
        << r.from;
  }

  // Speed-indicator boards and signboards.
  EXPECT_EQ(c.cell(17), (TrackCell{6, 2100, 2300, 2400, 0, 0, 0, 0, 0, 100, 0}));
  EXPECT_EQ(c.cell(157).value1, 2424);
  EXPECT_EQ(c.cell(157).value2, 2626);
  EXPECT_EQ(c.cell(157).value3, 2727);
  const struct { int cell, slot; const char* text; } signs[] = {
      {372, 80, "(  Km. ) (18.600)"}, {416, 79, "(  Km. ) (20.800)"},
      {443, 78, "( Ponte  ) (su fiume) (  Arno  )"}};
  for (const auto& s : signs) {
    EXPECT_EQ(c.cell(s.cell).kind, 14);
    EXPECT_EQ(c.cell(s.cell).value1, s.slot);
    EXPECT_EQ(c.slot(s.slot).name, s.text);
  }

  // Mountains: no markers, as both types are at most 10.
  EXPECT_EQ(c.cell(581).mountain, 0);
  EXPECT_EQ(c.cell(582).mountain, 2);
  EXPECT_EQ(c.cell(583).mountain, 2);
  EXPECT_EQ(c.cell(584).mountain, 0);
  for (int i = 1141; i <= 1146; ++i) EXPECT_EQ(c.cell(i).mountain, 1) << i;
  EXPECT_EQ(c.cell(1147).mountain, 0);

  // The first curve, class 2 to the left, starts turning after metre 700.
  const LineProfile& p = m.line_profile;
  EXPECT_EQ(p.tag(0, 1), LineProfile::Tag::kInt16);
  EXPECT_EQ(p.value(1, 1), 1.0);
  EXPECT_EQ(p.value(0, 700), 0.0);
  EXPECT_EQ(p.value(1, 700), 700.0);
  EXPECT_DOUBLE_EQ(p.value(0, 701), -0.0002);
  EXPECT_EQ(p.value(1, 701), 701.0);
  EXPECT_EQ(p.tag(0, 88998), LineProfile::Tag::kDouble);
  EXPECT_EQ(p.tag(0, 88999), LineProfile::Tag::kEmpty);
  EXPECT_EQ(p.tag(1, 89000), LineProfile::Tag::kEmpty);

  EXPECT_TRUE(c.sources.line_removed);
  EXPECT_TRUE(c.sources.train_removed);
}

// Faults of the line stage: the number, the position, and what follows.
TEST(LineStage, FaultsEndTheStageAsTheyShould) {
  struct Case {
    const char* what;
    std::string line;
    int code;
    int position;  // kUnchanged: no position recorded
    bool train_compiled;
  };
  const Case cases[] = {
      {"no [generale] before the end", lines({"inizio", "x", "[generale]"}), 102, kUnchanged, false},
      {"length above 1000000", lines({"[generale]", "lunghezza percorso, 1000001", "[f]", "x"}), 1, kUnchanged, false},
      {"negative length", lines({"[generale]", "lunghezza percorso, -5", "[f]", "x"}), 1, kUnchanged, false},
      {"repetition start", lines({"[generale]", "lunghezza percorso, 82000",
                                  "ripetizione segnali 4 codici, 4675, 79150", "[f]", "x"}), 3, kUnchanged, false},
      {"repetition end", lines({"[generale]", "lunghezza percorso, 82000",
                                "ripetizione segnali 4 codici, 4650, 79175", "[f]", "x"}), 4, kUnchanged, false},
      {"repetition without digit", lines({"[generale]", "lunghezza percorso, 82000",
                                          "ripetizione segnali, 4650, 79150", "[f]", "x"}), 5, kUnchanged, false},
      {"gradient beyond the grid", line_source(lines({"pendenza, 88901, 4", "pendenza, 100, 4"})), 15, 88901, true},
      {"curve without class", line_source(lines({"curvax, 700, 100"})), 103, kUnchanged, false},
      {"curve past 1000000 m", line_source(lines({"curvad1, 999000, 5000"}), 1000000), 103, kUnchanged, false},
      {"signboard on a board", line_source(lines({"indicatori_vmax, 800, 100, 100, 100, 0, 0, 0, 0, 0",
                                                  "cartello indicatore, 800, (x)"})), 6, 800, false},
      {"board on a signboard", line_source(lines({"cartello indicatore, 800, (x)",
                                                  "indicatori_vmax, 810, 100, 100, 100, 0, 0, 0, 0, 0"})), 21, 810, false},
      {"board below the grid", line_source(lines({"indicatori_vmax, -76, 100, 100, 100, 0, 0, 0, 0, 0"})), 15, -76, true},
      {"signboard below the grid", line_source(lines({"cartello indicatore, -80, (x)"})), 15, -80, true},
      {"empty source", "", 25, kUnchanged, false},
      {"end inside a row", lines({"[generale]", "lunghezza percorso, 82000", "[p]", "pendenza, 300"}), 25, kUnchanged, false},
      {"number too large for 32 bits", line_source(lines({"pendenza, 3000000000, 4"})), 25, kUnchanged, false},
      {"board value beyond 16 bits", line_source(lines({"indicatori_vmax, 800, 2000, 0, 0, 0, 0, 0, 0, 0"})), 25, kUnchanged, false},
      {"body row before the length", lines({"[generale]", "[pendenze]", "pendenza, 100, 4"}), 25, kUnchanged, false},
  };
  for (const Case& k : cases) {
    const auto c = compile(k.line, kTrain);
    EXPECT_EQ(c.model.error_code, k.code) << k.what;
    EXPECT_EQ(c.model.error_position, k.position == kUnchanged ? 0 : k.position) << k.what;
    // The line source is let go on every path once found; the train source
    // only when the train stage ran or the general failure struck.
    EXPECT_TRUE(c.sources.line_removed) << k.what;
    EXPECT_EQ(c.slot(84).num3 == 6, k.train_compiled) << k.what;
    EXPECT_EQ(c.sources.train_removed, k.train_compiled || k.code == 25) << k.what;
  }
}

TEST(LineStage, MissingLineSourceRecords101AndLeavesTheTrainSource) {
  testing::Compiled c;
  c.model.line_name = "L";
  c.model.train_number = "T";
  c.sources.train = kTrain;
  memorizza_dati(c.model, c.sources);
  EXPECT_EQ(c.model.error_code, 101);
  EXPECT_FALSE(c.sources.train_removed);
  EXPECT_FALSE(c.model.has_track_cells());
  EXPECT_EQ(c.slot(85).name, "L");
  EXPECT_EQ(c.slot(86).name, "T");
}

TEST(LineStage, GeneralSectionRules) {
  // Progressives are tested case-sensitively, the length is not; body rows
  // before the first header are still general rows and compile nothing.
  const auto c = compile(lines({"[generale]", "LUNGHEZZA PERCORSO, 1000",
                                "Progressiva chilometrica uno, 5000, 0, 0",
                                "ripetizione segnali 9, 100, 0",
                                "pendenza, 100, 4", "[pendenze]"}),
                         kTrain);
  EXPECT_EQ(c.model.error_code, 0);
  EXPECT_EQ(c.model.last_cell(), 160);
  EXPECT_EQ(c.slot(83).num1, 0);
  EXPECT_EQ((std::array{c.slot(86).num1, c.slot(86).num2, c.slot(86).num3}),
            (std::array{100, 0, 0}));
  EXPECT_EQ(c.cell(2).gradient, 100);

  // A length of exactly 1000000 m is accepted.
  EXPECT_EQ(compile(line_source("", 1000000), kTrain).model.last_cell(), 20140);
}

// The general section skips ten comments in a row and examines the
// eleventh: it ends the section only when, its leading blanks left out, it
// does not begin with "-". Only a quoted field keeps leading blanks.
TEST(LineStage, SectionHeaderIsTestedWithoutItsLeadingBlanks) {
  const struct {
    const char* eleventh;
    bool section_goes_on;
  } cases[] = {
      {"\"  -[x]\"", true},
      {"\"-[x]\"", true},
      {"\"  [x]-\"", false},
      {"\"  [x]\"", false},
  };
  for (const auto& k : cases) {
    std::string general = "[generale]\r\nlunghezza percorso, 1000\r\n";
    for (int i = 0; i < 10; ++i) general += "- commento\r\n";
    general += std::string(k.eleventh) + ", sfondo due, 7\r\n[pendenze]\r\n";
    const auto c = compile(general, kTrain);
    EXPECT_EQ(c.model.error_code, 0) << k.eleventh;
    EXPECT_EQ(c.slot(85).num3, k.section_goes_on ? 7 : 0) << k.eleventh;
  }
}

TEST(LineStage, ProgressivesAreOrderedGreatestFirst) {
  struct Case {
    std::array<int, 3> first, second, third;  // rows "tre", "due", "uno"
    std::array<int, 3> slot81, slot82, slot83;
  };
  const Case cases[] = {
      // 5000, 0, 20000: "uno", then "tre", then "due".
      {{5000, 0, 0}, {0, 0, 0}, {20000, 0, 0}, {20000, 0, 0}, {5000, 0, 0}, {0, 0, 0}},
      // All first numbers 0: the second numbers decide.
      {{0, 0, 0}, {0, 7, 0}, {0, 3, 0}, {0, 3, 0}, {0, 7, 0}, {0, 0, 0}},
      {{0, 5, 0}, {0, 0, 0}, {0, 0, 0}, {0, 5, 0}, {0, 0, 0}, {0, 0, 0}},
      {{0, 0, 9}, {0, 0, 9}, {0, 0, 9}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
      // A tie among the two smaller: the one from the higher slot first.
      {{9, 1, 0}, {4, 2, 0}, {4, 3, 0}, {9, 1, 0}, {4, 3, 0}, {4, 2, 0}},
      // A tie for the greatest orders the same way instead of clearing.
      {{9, 1, 0}, {9, 2, 0}, {4, 3, 0}, {9, 2, 0}, {9, 1, 0}, {4, 3, 0}},
      // A third number of 1 adds 100 to the second after ordering.
      {{100, 50, 1}, {0, 0, 0}, {0, 0, 0}, {100, 150, 1}, {0, 0, 0}, {0, 0, 0}},
  };
  for (const Case& k : cases) {
    Model m;
    const std::array<int, 3>* rows[] = {&k.first, &k.second, &k.third};
    for (int i = 0; i < 3; ++i) {
      m.scenario_slots[static_cast<std::size_t>(81 + i)].num1 = (*rows[i])[0];
      m.scenario_slots[static_cast<std::size_t>(81 + i)].num2 = (*rows[i])[1];
      m.scenario_slots[static_cast<std::size_t>(81 + i)].num3 = (*rows[i])[2];
    }
    progressive_ordina(m);
    const std::array<int, 3>* expected[] = {&k.slot81, &k.slot82, &k.slot83};
    for (int i = 0; i < 3; ++i) {
      const ScenarioSlot& s = m.scenario_slots[static_cast<std::size_t>(81 + i)];
      EXPECT_EQ((std::array{s.num1, s.num2, s.num3}), *expected[i])
          << "slot " << 81 + i << " for first numbers " << k.first[0] << ","
          << k.second[0] << "," << k.third[0];
    }
  }
}

TEST(LineStage, BodyRows) {
  // Gradient rows: one at 25 m or less sets the gradient from cell 0 without
  // writing; one behind the cursor still writes the cursor's cell once.
  auto c = compile(line_source(lines({"pendenza, 25, 4", "pendenza, 300, 2",
                                      "pendenza, 100, 0"})),
                   kTrain);
  EXPECT_EQ(gradients(c.model, 0, 7),
            (std::vector<int>{104, 104, 104, 104, 104, 104, 102, 100}));

  // Mountains: type 12 from 1000 to 2000 m marks every fourth free cell;
  // a mountain 100 m after the last one ends becomes type 3.
  c = compile(line_source(lines({"indicatori_vmax, 1300, 100, 100, 100, 0, 0, 0, 0, 0",
                                 "montagna, 1000, 2000, 12", "montagna, 2100, 3000, 1"})),
              kTrain);
  EXPECT_EQ(c.cell(19).mountain, 0);
  EXPECT_EQ(c.cell(20).mountain, 2);
  EXPECT_EQ(c.cell(39).mountain, 2);
  EXPECT_EQ(c.cell(27).kind, 6);  // the board's cell keeps its board
  for (int i : {23, 31, 35, 39}) EXPECT_EQ(c.cell(i).kind, 11) << i;
  EXPECT_EQ(c.cell(24).kind, 0);
  EXPECT_EQ(c.cell(42).mountain, 3);

  // A board on a mountain marker replaces it.
  c = compile(line_source(lines({"montagna, 1000, 2000, 12",
                                 "indicatori_vmax, 1100, 100, 100, 100, 1, 0, 0, 0, 2"})),
              kTrain);
  EXPECT_EQ(c.model.error_code, 0);
  EXPECT_EQ(c.cell(23).kind, 6);
  EXPECT_EQ(c.cell(23).value4, 12);

  // Three comments in a row: the third is examined and compiles a curve.
  c = compile(line_source(lines({"- a", "- b", "- curvad6", "100, 10"})), kTrain);
  EXPECT_EQ(c.model.error_code, 0);
  EXPECT_NE(c.model.line_profile.value(0, 110), 0.0);

  // Without the geometry, a curve row is not recognised: its numbers are
  // read as fields that match nothing, so no class or range test runs.
  c = compile(line_source(lines({"curvax, 99999999, 100"})), kTrain, 0);
  EXPECT_EQ(c.model.error_code, 0);
  EXPECT_FALSE(c.model.line_profile.exists());
}

TEST(LineStage, CurvesPastTheEndOfThePlanStopThere) {
  const auto c = compile(line_source(lines({"curvad1, 100, 200000"}), 1000), kTrain);
  EXPECT_EQ(c.model.error_code, 0);
  EXPECT_EQ(c.model.line_profile.tag(0, 8000), LineProfile::Tag::kDouble);
  EXPECT_EQ(c.model.line_profile.tag(1, 7999), LineProfile::Tag::kDouble);
}

// A mountain covers the cells from round(inizio / 50) to round(fine / 50 - 1),
// the end rounded as a whole, halves to even.
TEST(LineStage, MountainCellsAtTheirRoundingTies) {
  struct Case {
    int inizio, fine, first, last;  // last < first: no cell
  };
  const Case cases[] = {
      {0, 25, 0, 0},     // -0.5 rounds to 0
      {0, 75, 0, 0},     // 0.5 rounds to 0
      {100, 225, 2, 4},  // 3.5 rounds to 4
      {100, 275, 2, 4},  // 4.5 rounds to 4
      {100, 200, 2, 3},
      {100, 100, 2, 1},
  };
  for (const Case& k : cases) {
    const auto c = compile(
        line_source(lines({"montagna, " + std::to_string(k.inizio) + ", " +
                           std::to_string(k.fine) + ", 11"})),
        kTrain);
    ASSERT_EQ(c.model.error_code, 0) << k.fine;
    for (int i = 0; i <= 8; ++i) {
      const bool inside = i >= k.first && i <= k.last;
      EXPECT_EQ(c.cell(i).mountain, inside ? 1 : 0) << k.fine << " cell " << i;
      // Every fourth cell of the mountain carries a marker.
      EXPECT_EQ(c.cell(i).kind == cell_kind::kMountainMarker,
                inside && (i - k.first + 1) % 4 == 0)
          << k.fine << " cell " << i;
    }
  }
  // Ending at 225 m from 0, the fourth cell (cell 3) is a marker.
  const auto c = compile(line_source(lines({"montagna, 0, 225, 11"})), kTrain);
  EXPECT_EQ(c.cell(3).kind, cell_kind::kMountainMarker);
  EXPECT_EQ(c.cell(4).mountain, 1);
}

// The plan stops at L + 7000, but the cursor counts on to a curve's end: a
// curve that ends at 1000000 m or beyond ends the line stage with 103 on a
// short line too.
TEST(LineStage, CurvesEndingPastTheLongestLineOnAShortLine) {
  const struct {
    int length;
    int code;
  } cases[] = {{999499, 0}, {999500, 103}, {999501, 103}};
  for (const auto& k : cases) {
    const auto c = compile(
        line_source(lines({"curvas2, 500, " + std::to_string(k.length),
                           "cartello indicatore, 800, (x)"}),
                    1000),
        kTrain);
    EXPECT_EQ(c.model.error_code, k.code) << 500 + k.length;
    // After 103 the stage ends: the signboard row is never compiled.
    EXPECT_EQ(c.cell(17).kind == cell_kind::kSignboard, k.code == 0) << 500 + k.length;
  }
}

// All three progressives are ordered before any is raised by 100: an
// overflow of the first leaves the other two in their new slots.
TEST(LineStage, ProgressiveRaisedBy100AtThe32BitLimit) {
  const auto general = [](int second) {
    return lines({"[generale]", "lunghezza percorso, 82000",
                  "progressiva tre, 30000, " + std::to_string(second) + ", 1",
                  "progressiva due, 5000, 0, 0",
                  "progressiva uno, 20000, 0, 0", "[pendenze]", "[fine]"});
  };
  auto c = compile(general(2147483647 - 100), kTrain);
  EXPECT_EQ(c.slot(81).num2, 2147483647);
  EXPECT_NE(c.model.error_code, 25);

  c = compile(general(2147483647 - 99), kTrain);
  EXPECT_EQ(c.model.error_code, 25);
  EXPECT_EQ(c.slot(81).num1, 30000);
  EXPECT_EQ(c.slot(82).num1, 20000);
  EXPECT_EQ(c.slot(83).num1, 5000);
}

TEST(LineStage, MoreSignboardsThanSlotsIsTheGeneralFailure) {
  std::string body;
  for (int i = 0; i < 82; ++i) body += "cartello indicatore, " + std::to_string(1000 + 100 * i) + ", (t)\r\n";
  const auto c = compile(line_source(body), kTrain);
  EXPECT_EQ(c.model.error_code, 25);
  EXPECT_EQ(c.slot(0).name, "(t)");
  EXPECT_EQ(c.slot(81), ScenarioSlot{});
}

}  // namespace
}  // namespace scenc
