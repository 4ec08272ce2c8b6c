#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "scenario_fixture.h"
#include "tools/commands.h"
#include "tools/dump_command.h"
#include "tools/plot_command.h"
#include "tools/decode/scenario_set.h"

namespace scenc::tools {
namespace {

namespace fs = std::filesystem;
using scenc::testing::TemporaryDirectory;

struct Dumped {
  int status;
  std::string out;
  std::string err;
};

Dumped dump(const fs::path& file, bool json = false, bool all = false,
            const std::string& kind = {}) {
  std::ostringstream out, err;
  const int status = run_dump(DumpRequest{file, kind, json, all}, out, err);
  return {status, out.str(), err.str()};
}

class DumpTest : public ::testing::Test {
 protected:
  void SetUp() override { scenc::testing::write_files(model_, dir_.path()); }
  fs::path file(const std::string& name) const { return dir_.path() / name; }

  Model model_ = scenc::testing::hand_made_scenario();
  TemporaryDirectory dir_{"dump_test"};
};

TEST_F(DumpTest, TextShowsEachObjectInTheAuthorsUnits) {
  const Dumped cells = dump(file("Piana_7.dat"));
  ASSERT_EQ(cells.status, 0) << cells.err;
  EXPECT_EQ(cells.err, "");
  // One row per non-empty cell; the fills leave cells 338 to 340 empty.
  EXPECT_NE(cells.out.find("341 cells (0 to 340), line of 10000 m"),
            std::string::npos);
  const std::string expected_rows[] = {
      "     1        0     +0    30  100    0     0  free                 "
      "format_stamp 5121, scenario_code 1234",
      "     7      300     +0    30  100    0     0  station marker       "
      "slot 1, station \"FIRENZE S.M.N.\"",
      "    17      800     +0   120  100    0     0  speed board          "
      "vas 105 km/h, vad 0 km/h, vbs 115 km/h, vbd 0 km/h, vcs 120 km/h, "
      "vcd 0 km/h, strisces 0, strisced 0",
      "    21     1000     +0   120  100    0     0  signal               "
      "s1 4, s2 1, s3 0, d1 0, d2 0, d3 0, rapp 0, sx 1, dx 0, tempo 0",
      "    41     2000     +6   120  100    0     0  free",
      "    62     3050     +6   120  100    0     0  slow-order approach  "
      "step 1, d_v_step 0",
      "    63     3100     +6   120  100    0     0  slow-order warning   "
      "v 30 km/h, d_v 0",
      "    87     4300     +0   120  100    0     0  slow-order start     "
      "v 30 km/h, d_v 0, f_tt 0",
      "    93     4600     +0   120  100    0     0  signal               "
      "s1 4, s2 1, s3 0, d1 2, d2 1, d3 0, rapp 0, sx 2, dx 2, tempo 250",
      "   120     5950     -5   120  100    0     0  signboard            "
      "slot 80, text \"(  Km. ) (18.600)\"",
      "   181     9000     +0   100  100    2     0  station marker       "
      "slot 2, station \"PIAN\xC3\x92\"",
      "   184     9150     +0   100  100    2     0  mountain marker",
  };
  for (const auto& row : expected_rows) {
    EXPECT_NE(cells.out.find("\n" + row + "\n"), std::string::npos) << row;
  }
  EXPECT_EQ(cells.out.find("\n   338 "), std::string::npos)
      << "empty cell shown";
  EXPECT_NE(dump(file("Piana_7.dat"), false, true).out.find("\n   340 "),
            std::string::npos);

  const Dumped slots = dump(file("Piana_7.sim"));
  ASSERT_EQ(slots.status, 0) << slots.err;
  const std::string slot_rows[] = {
      "     1  station                 name \"FIRENZE S.M.N.\", tipo 8, pos 0 "
      "m, "
      "from -400 m, to 400 m, time 10:50:00, tps 1, tab 0, mar 0, d2_first 4, "
      "d3_first 0, rap 1, d1 2, d2 1, d3 0, ac 0",
      "    80  signboard text          text \"(  Km. ) (18.600)\"",
      "    84  consist                 braked_mass 120%, line_length 10000 m, "
      "cars 6",
      "    85  line                    name \"Piana\", background_one 1, "
      "background_two 0, background_three 0, format_stamp 610, weighted_code "
      "4321",
      "    86  train                   name \"7\", signal_repetition_from 4650 "
      "m, "
      "signal_repetition_to 7150 m, signal_repetition_codes 4, sabbia 300, "
      "orologio 10:49:30",
  };
  for (const auto& row : slot_rows) {
    EXPECT_NE(slots.out.find("\n" + row + "\n"), std::string::npos) << row;
  }
  EXPECT_EQ(slots.out.find("\n     0 "), std::string::npos);
  EXPECT_EQ(slots.out.find("\n    81 "), std::string::npos);

  const Dumped geometry = dump(file("Piana_linea.dat"));
  ASSERT_EQ(geometry.status, 0) << geometry.err;
  for (const std::string row :
       {"       0              0              0  (integer, integer)",
        "       2          0.000          2.000",
        "    1000          0.000       1000.000",
        "   16999        (empty)        (empty)  (empty, empty)",
        "   17000        (empty)        (empty)  (empty, empty)"}) {
    EXPECT_NE(geometry.out.find("\n" + row + "\n"), std::string::npos) << row;
  }
  EXPECT_NE(geometry.out.find("4 integer, 33994 double, 4 empty values"),
            std::string::npos);
}

TEST_F(DumpTest, JsonCarriesTheRawFieldsAndTheirMeaning) {
  const Dumped cells = dump(file("Piana_7.dat"), true, true);
  ASSERT_EQ(cells.status, 0) << cells.err;
  const auto j = nlohmann::json::parse(cells.out);
  EXPECT_EQ(j["file"], "cells");
  EXPECT_EQ(j["line_length"], 10000);
  ASSERT_EQ(j["cells"].size(), 341u);
  const auto& signal = j["cells"][93];
  EXPECT_EQ(signal["index"], 93);
  EXPECT_EQ(signal["kind"], 1);
  EXPECT_EQ(signal["value1"], 42);
  EXPECT_EQ(signal["signal_time"], 250);
  EXPECT_EQ(signal["kind_name"], "signal");
  EXPECT_EQ(signal["position_m"], 4600);
  EXPECT_EQ(signal["details"]["sx"], 2);
  EXPECT_EQ(j["cells"][120]["gradient_per_mille"], -5);
  EXPECT_EQ(j["cells"][0]["speed_limit_kmh"], 30);

  const auto s = nlohmann::json::parse(dump(file("Piana_7.sim"), true).out);
  ASSERT_EQ(s["slots"].size(), 6u);  // slots 1, 2, 80, 84, 85, 86
  EXPECT_EQ(s["slots"][1]["name"], "PIAN\xC3\x92");
  EXPECT_EQ(s["slots"][1]["details"]["time"], "10:56:00");
  EXPECT_EQ(s["slots"][1]["num4"], 39360);
  EXPECT_EQ(s["slots"][1]["role"], "station");

  const auto g =
      nlohmann::json::parse(dump(file("Piana_linea.dat"), true, true).out);
  ASSERT_EQ(g["metres"].size(), 17001u);
  EXPECT_EQ(g["metres"][1]["y_tag"], 2);
  EXPECT_EQ(g["metres"][1]["y"], 1);
  EXPECT_EQ(g["metres"][4000]["x"].get<double>(),
            model_.line_profile.value(0, 4000));
  EXPECT_TRUE(g["metres"][17000]["x"].is_null());
}

TEST_F(DumpTest, KindComesFromTheNameOrTheOption) {
  fs::copy_file(file("Piana_7.sim"), file("slots.bin"));
  EXPECT_EQ(dump(file("slots.bin")).status, exit_status::kUsageError);
  const Dumped named = dump(file("slots.bin"), false, false, "slots");
  EXPECT_EQ(named.status, 0);
  EXPECT_NE(named.out.find("signboard text"), std::string::npos);
  // A file read as the wrong kind is refused, not misread.
  EXPECT_EQ(dump(file("Piana_7.dat"), false, false, "slots").status,
            exit_status::kMalformedFile);
}

TEST_F(DumpTest, BrokenFilesEndWithAClearErrorAndStatus) {
  // Cut between two cells: only the slot file beside it shows the cut.
  fs::resize_file(file("Piana_7.dat"), 15 * 300);
  const Dumped cut = dump(file("Piana_7.dat"));
  EXPECT_EQ(cut.status, exit_status::kMalformedFile);
  EXPECT_EQ(cut.out, "");
  EXPECT_EQ(cut.err, "scenarioc dump: " + file("Piana_7.dat").string() +
                         ": cell 300 at offset 4500: file ends before this "
                         "cell; a line of 10000 m has cells 0 to 340 (line "
                         "length from " +
                         file("Piana_7.sim").string() + ")\n");

  fs::remove(file("Piana_7.sim"));
  const Dumped alone = dump(file("Piana_7.dat"));
  EXPECT_EQ(alone.status, 0);
  EXPECT_NE(alone.err.find("note: no slot file beside"), std::string::npos);

  const Dumped missing = dump(file("Piana_7.sim"));
  EXPECT_EQ(missing.status, 3);
  EXPECT_NE(missing.err.find("No such file"), std::string::npos);
}

// A file larger than any of its kind is refused by its size, before a byte
// of it is read: a sparse file of 2 GB costs no time and no memory. One of
// exactly the largest size is read and decoded.
TEST_F(DumpTest, RefusesAFileLargerThanTheLargestOfItsKind) {
  const std::uintmax_t two_gigabytes = std::uintmax_t{2} << 30;
  const struct {
    const char* name;
    std::int64_t largest;
    const char* kind;
  } kinds[] = {
      {"Big_1.dat", kLargestCellFile, "cell"},
      {"Big_1.sim", kLargestSlotFile, "slot"},
      {"Big_linea.dat", kLargestGeometryFile, "line geometry"},
  };
  for (const auto& k : kinds) {
    for (const std::uintmax_t size :
         {static_cast<std::uintmax_t>(k.largest) + 1, two_gigabytes}) {
      std::ofstream(file(k.name)).close();
      fs::resize_file(file(k.name), size);
      const Dumped big = dump(file(k.name));
      EXPECT_EQ(big.status, exit_status::kMalformedFile) << k.name;
      EXPECT_EQ(big.out, "");
      EXPECT_EQ(big.err, "scenarioc dump: " + file(k.name).string() +
                             ": holds more than " + std::to_string(k.largest) +
                             " bytes, the largest " + k.kind +
                             " file there can be\n");
    }
  }
  // Zero bytes are 20141 empty cells: the largest grid there is.
  fs::resize_file(file("Big_1.dat"), kLargestCellFile);
  EXPECT_EQ(dump(file("Big_1.dat")).status, 0);

  // plot reads with the same bounds.
  fs::resize_file(file("Piana_7.dat"), two_gigabytes);
  std::ostringstream out, err;
  EXPECT_EQ(run_plot(PlotRequest{dir_.path() / "Piana_7", "-"}, out, err),
            exit_status::kMalformedFile);
  EXPECT_NE(err.str().find("holds more than"), std::string::npos) << err.str();
}

// The line of a text dump that shows record `index`, or "" when none does.
std::string row_of(const std::string& dump, int index) {
  char start[16];
  std::snprintf(start, sizeof start, "\n%6d ", index);
  const auto at = dump.find(start);
  if (at == std::string::npos) return {};
  return dump.substr(at + 1, dump.find('\n', at + 1) - at - 1);
}

TEST(DumpScenario, ShowsWhatTheScenarioProgramWrote) {
  TemporaryDirectory dir("dump_scenario_test");
  ASSERT_TRUE(scenc::testing::run_scenario_program(dir.path()));

  // The sixteen stations in timetable order with their times; the halts
  // without a time show 00:00:00.
  const Dumped slots = dump(dir.path() / "Firenze_Pisa_11711.sim");
  ASSERT_EQ(slots.status, 0) << slots.err;
  const struct {
    const char* name;
    const char* time;
  } stations[] = {
      {"FIRENZE S.M.N.", "10:50:00"},  {"FIRENZE RIFREDI", "10:56:00"},
      {"FIRENZE CASCINE", "00:00:00"}, {"S.DONNINO", "00:00:00"},
      {"SIGNA", "11:10:00"},           {"CARMIGNANO", "00:00:00"},
      {"MONTELUPO", "11:21:00"},       {"EMPOLI", "11:27:00"},
      {"S.MINIATO", "11:34:00"},       {"S.ROMANO", "11:39:00"},
      {"LA ROTTA", "00:00:00"},        {"PONTEDERA", "11:56:00"},
      {"CASCINA", "12:03:00"},         {"S.FREDIANO", "12:06:00"},
      {"NAVACCHIO", "12:10:00"},       {"PISA C.le", "12:17:00"},
  };
  for (int k = 1; k <= 16; ++k) {
    const std::string row = row_of(slots.out, k);
    EXPECT_NE(row.find("station"), std::string::npos) << k;
    EXPECT_NE(row.find("name \"" + std::string(stations[k - 1].name) + "\""),
              std::string::npos)
        << row;
    EXPECT_NE(row.find("time " + std::string(stations[k - 1].time)),
              std::string::npos)
        << row;
  }
  EXPECT_EQ(row_of(slots.out, 17), "");
  EXPECT_NE(row_of(slots.out, 80).find("text \"(  Km. ) (18.600)\""),
            std::string::npos);
  EXPECT_NE(row_of(slots.out, 79).find("text \"(  Km. ) (20.800)\""),
            std::string::npos);
  EXPECT_NE(
      row_of(slots.out, 78).find("text \"( Ponte  ) (su fiume) (  Arno  )\""),
      std::string::npos);

  // The signals at 1000 m and 4600 m, the slow order at 9300 m with its
  // warning and approach cells, and the marks the finishing pass placed.
  const Dumped cells = dump(dir.path() / "Firenze_Pisa_11711.dat");
  ASSERT_EQ(cells.status, 0) << cells.err;
  const struct {
    int cell;
    const char* shows;
  } marks[] = {
      {21,
       "signal               s1 4, s2 1, s3 0, d1 0, d2 0, d3 0, rapp 0, sx 1, "
       "dx 0, tempo 0"},
      {93,
       "signal               s1 4, s2 1, s3 0, d1 2, d2 1, d3 0, rapp 0, sx 2, "
       "dx 2, tempo 250"},
      {187, "slow-order start     v 30 km/h, d_v 0, f_tt 0"},
      {188, "slow-order end       v 30 km/h, d_v 0, f_tt 0"},
      {163, "slow-order warning   v 30 km/h, d_v 0"},
      {162, "slow-order approach  step 1,"},
      {161, "slow-order approach  step 2,"},
      {160, "slow-order approach  step 3,"},
      {159, "slow-order approach  step 4,"},
      {182, "abbattimento         value 180"},
      {176, "abbattimento         value 180"},
      {169, "abbattimento         value 180"},
      {196, "abbattimento         value 180"},
      {7, "station marker       slot 1, station \"FIRENZE S.M.N.\""},
  };
  for (const auto& m : marks) {
    EXPECT_NE(row_of(cells.out, m.cell).find(m.shows), std::string::npos)
        << row_of(cells.out, m.cell);
  }
  EXPECT_NE(row_of(cells.out, 1).find("format_stamp 5121"), std::string::npos);
}

}  // namespace
}  // namespace scenc::tools
