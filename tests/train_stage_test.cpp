#include <gtest/gtest.h>

#include "compile_fixture.h"
#include "scenario/emitters.h"

namespace scenc {
namespace {

using testing::compile;
using testing::Compiled;
using testing::lines;
using testing::line_source;
using testing::train_source;

constexpr int kUnchanged = -999999;

// A plain line of 82000 m: cells 0 to 1780, nothing on them.
const std::string kLine = line_source("");

Compiled compile_train(const std::string& body, const std::string& line = kLine) {
  return compile(line, train_source(body));
}

// The speed limit and adhesion of a range of cells, when all cells agree.
int common_value(const Compiled& c, int from, int to, std::uint8_t TrackCell::*field) {
  const int first = c.cell(from).*field;
  for (int i = from; i <= to; ++i) {
    if (c.cell(i).*field != first) return -1;
  }
  return first;
}

TEST(TrainStage, EmbeddedTrainCompilesIntoSlotsAndCells) {
  const auto c = compile(embedded_line_source(), embedded_train_source());
  ASSERT_EQ(c.model.error_code, 0);
  EXPECT_EQ(c.slot(84).num1, 120);
  EXPECT_EQ(c.slot(84).num3, 6);
  EXPECT_EQ(c.slot(86).word1, 300);
  EXPECT_EQ((std::array{c.slot(86).word3, c.slot(86).word4, c.slot(86).word5}),
            (std::array<std::int16_t, 3>{10, 49, 30}));

  const char* names[] = {"FIRENZE S.M.N.", "FIRENZE RIFREDI", "FIRENZE CASCINE",
                         "S.DONNINO", "SIGNA", "CARMIGNANO", "MONTELUPO", "EMPOLI",
                         "S.MINIATO", "S.ROMANO", "LA ROTTA", "PONTEDERA",
                         "CASCINA", "S.FREDIANO", "NAVACCHIO", "PISA C.le"};
  for (int s = 1; s <= 16; ++s) EXPECT_EQ(c.slot(s).name, names[s - 1]) << s;
  EXPECT_EQ(c.slot(17), ScenarioSlot{});

  // Station 1: extent -400..400, 10:50:00, marker in cell 7, approach 6..3.
  const ScenarioSlot& first = c.slot(1);
  EXPECT_EQ((std::array{first.num1, first.num2, first.num3, first.num4}),
            (std::array{-400, 400, 0, 39000}));
  EXPECT_EQ(first.kind, 8);
  EXPECT_EQ(c.cell(7).kind, 10);
  EXPECT_EQ(c.cell(7).value1, 1);
  EXPECT_EQ((std::array{c.cell(6).approach, c.cell(5).approach, c.cell(4).approach,
                        c.cell(3).approach}),
            (std::array<std::uint8_t, 4>{81, 82, 83, 84}));
  // Station 2 ("Stazione"): its column 6 adds 50 m to the extent.
  EXPECT_EQ((std::array{c.slot(2).num1, c.slot(2).num2, c.slot(2).num4}),
            (std::array{2450, 3100, 39360}));
  EXPECT_EQ(c.cell(61).value1, 2);
  for (int i = 57; i <= 60; ++i) EXPECT_EQ(c.cell(i).approach, 81 + 60 - i) << i;
  // Station 16, PISA C.le.
  EXPECT_EQ((std::array{c.slot(16).num1, c.slot(16).num2}), (std::array{80500, 81200}));
  EXPECT_EQ(c.cell(1623).kind, 10);
  EXPECT_EQ(c.cell(1623).value1, 16);
  // The kind-28 stations hold their slots and place nothing.
  for (int s : {4, 6, 11, 14}) {
    EXPECT_EQ(c.slot(s).kind, 28);
    for (const TrackCell& cell : c.model.track_cells) {
      EXPECT_FALSE(cell.kind == 10 && cell.value1 == s) << s;
    }
  }

  // Speed limits and adhesion by cell range.
  EXPECT_EQ(common_value(c, 0, 9, &TrackCell::speed_limit), 6);
  EXPECT_EQ(common_value(c, 10, 54, &TrackCell::speed_limit), 23);
  EXPECT_EQ(common_value(c, 55, 147, &TrackCell::speed_limit), 19);
  EXPECT_EQ(common_value(c, 1413, 1777, &TrackCell::speed_limit), 26);
  EXPECT_EQ(common_value(c, 1778, 1780, &TrackCell::speed_limit), 0);
  EXPECT_EQ(common_value(c, 0, 1777, &TrackCell::adhesion), 100);
  EXPECT_EQ(common_value(c, 1778, 1780, &TrackCell::adhesion), 0);

  // Signals at 1000 m and 4600 m.
  EXPECT_EQ(c.cell(21), (TrackCell{1, 40, 10, 0, 3, 0, 0, 0, 23, 100, 100}));
  const TrackCell& s93 = c.cell(93);
  EXPECT_EQ((std::array{s93.value1, s93.value2, s93.value3, s93.value4}),
            (std::array<std::int16_t, 4>{42, 11, 0, 8}));
  EXPECT_EQ(s93.signal_time, 250);
  EXPECT_EQ((std::array{c.cell(19).approach, c.cell(17).approach, c.cell(15).approach,
                        c.cell(13).approach}),
            (std::array<std::uint8_t, 4>{31, 32, 33, 34}));
  EXPECT_EQ((std::array{c.cell(91).approach, c.cell(89).approach, c.cell(87).approach,
                        c.cell(85).approach}),
            (std::array<std::uint8_t, 4>{81, 82, 83, 84}));

  // The slow order at 9300 m.
  EXPECT_EQ(c.cell(187).kind, 3);
  EXPECT_EQ(c.cell(188).kind, 2);
  EXPECT_EQ(c.cell(187).value1, 30);
  EXPECT_EQ(c.cell(188).value1, 30);
  EXPECT_EQ(c.cell(163).kind, 4);
  EXPECT_EQ(c.cell(163).value1, 30);
  for (int j = 0; j < 4; ++j) {
    EXPECT_EQ(c.cell(162 - j).kind, 5);
    EXPECT_EQ(c.cell(162 - j).value1, j + 1);
    EXPECT_EQ(c.cell(162 - j).value2, 0);
  }
}

// Faults of the train stage: number, position, and whether the end steps
// (fills and progressive check) ran.
TEST(TrainStage, FaultsEndTheStageAsTheyShould) {
  const std::string station = "stazione, 2750, 2, 600, 0, 0, 0, 1,1,0, 3,1,1, 60, 10,56, 0, A\r\n";
  struct Case {
    const char* what;
    std::string body;
    int code;
    int position;
    bool end_steps_ran;
  };
  const Case cases[] = {
      {"station not on a 50 m step", "stazione, 2775, 2, 600\r\n", 8, 2775, false},
      {"station length not whole 100 m", "stazione, 2750, 2, 650\r\n", 9, 2750, false},
      {"first station ending at 100 m",
       "stazione, 50, 2, 100, 0, 0, 0, 1,1,0, 3,1,1, 60, 10,56, 0, A\r\n", 24, kUnchanged, false},
      {"stations too close", station +
       "stazione, 3200, 2, 600, 0, 0, 0, 1,1,0, 3,1,1, 60, 10,56, 0, B\r\n", 22, 3200, false},
      {"speed row beyond the grid", "velocita' limite, 88901, 100\r\nsabbia, 7\r\n", 15, 88901, true},
      {"station beyond the grid", "stazione, 88250, 2, 100\r\n", 15, 88250, true},
      {"second signal on a cell", "segnale, 1000, 1,4,1,0,0, 0,0,0,0,0\r\n"
       "segnale, 1010, 1,4,1,0,0, 0,0,0,0,0\r\n", 16, 1010, false},
      {"warning cell taken", "segnale, 8100, 1,4,1,0,0, 0,0,0,0,0\r\n"
       "rallentamento, 9300, 30, 50, 0, 1, 0\r\n", 17, 9300, false},
      {"start cell taken", "segnale, 9300, 1,4,1,0,0, 0,0,0,0,0\r\n"
       "rallentamento, 9300, 30, 50, 0, 1, 0\r\n", 18, 9300, false},
      {"end cell taken", "segnale, 9350, 1,4,1,0,0, 0,0,0,0,0\r\n"
       "rallentamento, 9300, 30, 50, 0, 1, 0\r\n", 19, 9300, false},
      {"approach cell taken", "segnale, 8000, 1,4,1,0,0, 0,0,0,0,0\r\n"
       "rallentamento, 9300, 30, 50, 0, 1, 0\r\n", 20, 9300, false},
      {"abbattimento on a signal", "segnale, 4950, 1,4,1,0,0, 0,0,0,0,0\r\n"
       "abbattimento, 5000, 80\r\n", 7, 5000, false},
      {"station kind beyond 8 bits", "stazione, 2750, 300, 600\r\n", 25, kUnchanged, false},
      {"clock beyond 16 bits", "orologio, 10 70000 0\r\n", 25, kUnchanged, false},
      {"speed beyond 255 x 5", "velocita' limite, 0, 1280\r\nvelocita' limite, 100, 5\r\n", 25, kUnchanged, false},
      {"end of the source inside a row", "segnale, 1000, 1, 4", 25, kUnchanged, false},
      {"signal below the grid", "segnale, -76, 1,4,1,0,0, 0,0,0,0,0\r\n", 15, -76, true},
      {"abbattimento below the grid", "abbattimento, -26, 5\r\n", 15, -26, true},
      {"slow order ending beyond the grid", "rallentamento, 88000, 30, 5000, 0, 1, 0\r\n", 15, 88000, true},
      {"station marker beyond the grid", "stazione, 88200, 8, 1000, 0, 0, 0, 1,1,0, 3,1,1, 60, 10,56, 0, Z\r\n", 15, 88200, true},
  };
  for (const Case& k : cases) {
    // The adhesion row at 0 fills nothing itself: only the end steps carry
    // its value along the grid.
    const auto c = compile_train("aderenza, 0, 100\r\n" + k.body);
    EXPECT_EQ(c.model.error_code, k.code) << k.what;
    EXPECT_EQ(c.model.error_position, k.position == kUnchanged ? 0 : k.position) << k.what;
    EXPECT_TRUE(c.sources.train_removed) << k.what;
    EXPECT_EQ(c.cell(1777).adhesion == 100, k.end_steps_ran) << k.what;
  }
}

TEST(TrainStage, MissingTrainSourceIsTheGeneralFailure) {
  Compiled c;
  c.model.clear_for_build(1);
  c.sources.line = kLine;
  memorizza_dati(c.model, c.sources);
  EXPECT_EQ(c.model.error_code, 25);
  EXPECT_TRUE(c.sources.line_removed);
}

TEST(TrainStage, ProgressiveNotOnA50MetreStepIsFault2AfterTheFills) {
  const std::string line =
      lines({"[generale]", "lunghezza percorso, 82000",
             "progressiva chilometrica uno, 125, 0, 0", "[p]"});
  const auto c = compile(line, train_source(lines({"velocita' limite, 0, 100",
                                                   "velocita' limite, 88901, 100"})));
  EXPECT_EQ(c.model.error_code, 2);
  EXPECT_EQ(c.model.error_position, 88901);  // kept from the range fault
  EXPECT_EQ(c.cell(1777).speed_limit, 20);
}

TEST(TrainStage, StationsStopBelowTheSignboardSlots) {
  std::string line_body;
  for (int i = 0; i < 3; ++i) line_body += "cartello indicatore, " + std::to_string(100 + i * 100) + ", (t)\r\n";
  std::string body;
  for (int i = 0; i < 79; ++i) {
    body += "stazione, " + std::to_string(1000 + 1000 * i) +
            ", 2, 200, 0,0,0, 0,0,0, 0,0,0, 0, 0,0,0, S\r\n";
  }
  const auto with_signs = compile_train(body, line_source(line_body));
  EXPECT_EQ(with_signs.model.error_code, 10);
  EXPECT_EQ(with_signs.slot(76).num3, 76000);  // the 76th row was read
  EXPECT_EQ(with_signs.slot(77).name, "");
  const auto without = compile_train(body);
  EXPECT_EQ(without.model.error_code, 10);
  EXPECT_EQ(without.slot(79).num3, 79000);
}

TEST(TrainStage, StationKindsAndTheirExtents) {
  const struct {
    int kind, length, column6;
    int start, end, marker;  // marker 0: none
  } cases[] = {
      {5, 400, 1, 9600, 10150, 202},   // 150 m past the position
      {7, 400, 1, 9600, 10400, 207},   // the length on both sides
      {2, 400, 1, 9800, 10250, 204},   // half the length, + 50 for column 6
      {2, 400, 0, 9800, 10200, 203},
      {28, 400, 0, 9800, 10200, 0},    // no marker, no approach codes
  };
  for (const auto& k : cases) {
    const std::string row = "stazione, 0, 8, 400, 0,0,0, 0,0,0, 0,0,0, 0, 0,0,0, A\r\n"
                            "stazione, 10000, " + std::to_string(k.kind) + ", " +
                            std::to_string(k.length) + ", 0, 1, " + std::to_string(k.column6) +
                            ", 0,0,0, 0,0,0, 0, 0,0,0, B\r\n";
    const auto c = compile_train(row);
    ASSERT_EQ(c.model.error_code, 0) << k.kind;
    EXPECT_EQ(c.slot(2).num1, k.start) << k.kind;
    EXPECT_EQ(c.slot(2).num2, k.end) << k.kind;
    EXPECT_EQ(c.slot(2).byte4, 0) << k.kind;  // short stations lose column 5
    if (k.marker == 0) {
      for (int i = 190; i < 220; ++i) {
        EXPECT_EQ(c.cell(i).kind, 0) << i;
        EXPECT_EQ(c.cell(i).approach, 0) << i;
      }
    } else {
      EXPECT_EQ(c.cell(k.marker).kind, 10) << k.kind;
      EXPECT_EQ(c.cell(k.marker).value1, 2) << k.kind;
      const bool approach = k.kind != 5 && k.kind != 6;
      EXPECT_EQ(c.cell(k.marker - 1).approach, approach ? 81 : 0) << k.kind;
      EXPECT_EQ(c.cell(k.marker - 4).approach, approach ? 84 : 0) << k.kind;
    }
  }
}

TEST(TrainStage, RowDetails) {
  // Signal times: 1 to 100 are raised to 101, 300 keeps its low byte, and a
  // signal with sx other than 2 stores none.
  const struct { int sx, tempo, stored; } times[] = {
      {2, 50, 101}, {2, 300, 44}, {2, 0, 0}, {2, -5, 251}, {1, 300, 0}};
  for (const auto& t : times) {
    const auto c = compile_train("segnale, 4600, " + std::to_string(t.sx) +
                                 ", 4, 1, 0, 0, 2, 2, 1, 0, " + std::to_string(t.tempo) + "\r\n");
    EXPECT_EQ(c.cell(93).signal_time, t.stored) << t.tempo;
  }

  // Slow orders up to 1500 m get no warning, whatever f_ta says.
  auto c = compile_train("rallentamento, 1500, 30, 50, 0, 1, 0\r\n");
  EXPECT_EQ(c.cell(31).kind, 3);
  EXPECT_EQ(c.cell(32).kind, 2);
  for (int i = 0; i <= 30; ++i) EXPECT_EQ(c.cell(i).kind, 0) << i;
  c = compile_train("rallentamento, 1550, 30, 50, 0, 1, 7\r\n");
  EXPECT_EQ(c.cell(8).kind, 4);
  EXPECT_EQ(c.cell(8).value2, 7);
  for (int i = 4; i <= 7; ++i) {
    EXPECT_EQ(c.cell(i).kind, 5);
    EXPECT_EQ(c.cell(i).value2, 8 - i);
  }
  // Start and end in one cell: it ends as a start cell with v and f_tt.
  c = compile_train("rallentamento, 9300, 30, 10, 4, 0, 0\r\n");
  EXPECT_EQ(c.cell(187), (TrackCell{3, 30, 0, 4, 0, 0, 0, 0, 0, 100, 0}));

  // Abbattimento marks use p / 50 without the + 1.
  c = compile_train("abbattimento, 5000, 80\r\nabbattimento, 6000, 0\r\nabbattimento, 7000, -5\r\n");
  EXPECT_EQ(c.cell(100).kind, 12);
  EXPECT_EQ(c.cell(100).value1, 80);
  EXPECT_EQ(c.cell(120).kind, 13);
  EXPECT_EQ(c.cell(140).kind, 13);

  // Two speed rows on one cell: the second fills that cell with the first
  // row's speed and moves on by one.
  c = compile_train("velocita' limite, 0, 30\r\nvelocita' limite, 500, 100\r\n"
                    "velocita' limite, 510, 50\r\n");
  EXPECT_EQ(common_value(c, 0, 9, &TrackCell::speed_limit), 6);
  EXPECT_EQ(c.cell(10).speed_limit, 20);
  EXPECT_EQ(c.cell(11).speed_limit, 10);

  // A station name ends at a comma; the rest is read as the next keyword
  // field, and keywords are found in any case, in a third comment too.
  c = compile_train("stazione, 0, 8, 400, 0,0,0, 0,0,0, 0,0,0, 0, 0,0,0, NOME, SABBIA, 9\r\n"
                    "- a\r\n- b\r\n- SEGNALE, 4600, 2, 4, 1, 0, 0, 2, 2, 1, 0, 0\r\n");
  EXPECT_EQ(c.model.error_code, 0);
  EXPECT_EQ(c.slot(1).name, "NOME");
  EXPECT_EQ(c.slot(86).word1, 9);
  EXPECT_EQ(c.cell(93).kind, 1);
}

TEST(TrainStage, WithoutGeneraleTheWholeSourceIsPreamble) {
  const auto c = compile(kLine, lines({"numero vetture, 6", "[fine]"}));
  EXPECT_EQ(c.model.error_code, 0);
  EXPECT_EQ(c.slot(84).num3, 0);
  EXPECT_EQ(c.cell(0).speed_limit, 0);
}

TEST(TrainStage, ARangeFaultOfTheLineDoesNotEndTheTrainStage) {
  const auto c = compile(line_source(lines({"pendenza, 88901, 4"})),
                         train_source(lines({"rallentamento, 9300, 30, 50, 0, 1, 0",
                                             "sabbia, 300"})));
  EXPECT_EQ(c.model.error_code, 15);
  EXPECT_EQ(c.model.error_position, 88901);
  EXPECT_EQ(c.slot(86).word1, 300);
  EXPECT_EQ(c.cell(187).kind, 3);
}

}  // namespace
}  // namespace scenc
