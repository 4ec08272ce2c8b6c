// A small scenario built by hand through the model, for the tests of the
// tools that read compiled files: a 10 km line with a curve, gradients,
// speed limits, two stations, signals, a slow order with its warning,
// approach cells and marks, boards, a signboard and a mountain.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "child_process.h"
#include "model/track_model.h"
#include "output/file_system.h"
#include "scenario/build_run.h"

namespace scenc::testing {

// The start of every line: metres 0 and 1 at (0, 0) and (0, 1), stored as
// integers.
inline void seed_line_start(LineProfile& p) {
  p.set_int16(0, 0, 0);
  p.set_int16(1, 0, 0);
  p.set_int16(0, 1, 0);
  p.set_int16(1, 1, 1);
}

inline Model hand_made_scenario() {
  Model m;
  m.clear_for_build(1);
  m.line_name = "Piana";
  m.train_number = "7";
  m.allocate_for_length(10000);  // cells 0..340, metres 0..17000
  auto& cells = m.track_cells;
  for (std::size_t i = 0; i + 3 < cells.size(); ++i) {
    cells[i].gradient = static_cast<std::uint8_t>(i >= 40 && i < 80     ? 106
                                                  : i >= 120 && i < 150 ? 95
                                                                        : 100);
    cells[i].speed_limit = static_cast<std::uint8_t>(i < 10    ? 6
                                                     : i < 150 ? 24
                                                               : 20);
    cells[i].adhesion = 100;
  }
  for (std::size_t i = 180; i <= 190; ++i) cells[i].mountain = 2;
  cells[1].value1 = 5121;
  cells[1].value2 = 1234;
  cells[7] = {10, 1, 0, 0, 0, 0, 0, 0, 6, 100, 100};
  cells[21].kind = 1;  // signal at 1000 m
  cells[21].value1 = 40;
  cells[21].value2 = 10;
  cells[21].value4 = 3;
  cells[93].kind = 1;  // signal at 4600 m, sx 2, dx 2
  cells[93].value1 = 42;
  cells[93].value2 = 11;
  cells[93].value4 = 8;
  cells[93].signal_time = 250;
  cells[17].kind = 6;  // board at 800 m: 105, 115, 120 km/h
  cells[17].value1 = 2100;
  cells[17].value2 = 2300;
  cells[17].value3 = 2400;
  cells[120].kind = 14;
  cells[120].value1 = 80;
  cells[63].kind = 4;  // warning 1200 m before the slow order at 4300 m
  cells[63].value1 = 30;
  for (int j = 0; j < 4; ++j) {
    cells[62 - j].kind = 5;
    cells[62 - j].value1 = static_cast<std::int16_t>(j + 1);
  }
  cells[87] = {3, 30, 0, 0, 0, 0, 0, 0, 24, 100, 100};
  cells[88] = {2, 30, 0, 0, 0, 0, 0, 0, 24, 100, 100};
  for (int i : {82, 76, 69}) {
    cells[static_cast<std::size_t>(i)].kind = 12;
    cells[static_cast<std::size_t>(i)].value1 = 180;
  }
  cells[184].kind = 11;
  cells[181].kind = 10;  // second station at 9200 m
  cells[181].value1 = 2;

  auto& slots = m.scenario_slots;
  slots[1] = {8, -400, 400, 0, 1,    "FIRENZE S.M.N.", 4, 0, 2, 1, 0,
              1, 0,    0,   0, 39000};
  slots[2] = {2, 8900, 9500, 9200, 0, "PIAN\xD2", 0, 0,
              0, 0,    0,    0,    0, 0,          0, 39360};
  slots[80].name = "(  Km. ) (18.600)";
  slots[84] = {0, 120, 10000, 6, 0, "", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  slots[85] = {0, 1, 0, 0, 0, "Piana", 610, 0, 0, 0, 0, 0, 0, 0, 0, 4321};
  slots[86] = {0, 4650, 7150, 4, 0, "7", 300, 0, 10, 49, 30, 0, 0, 0, 0, 0};

  // Straight north, a left-hand curve from 3000 to 5000 m, then straight.
  LineProfile& p = m.line_profile;
  seed_line_start(p);
  for (std::int64_t metre = 2; metre <= 16998; ++metre) {
    const double t = metre > 3000 && metre <= 5000 ? -0.0004 : 0.0;
    const double dx = p.value(0, metre - 1) - p.value(0, metre - 2);
    const double dy = p.value(1, metre - 1) - p.value(1, metre - 2);
    p.set_double(0, metre, p.value(0, metre - 1) + (dx + t * dy));
    p.set_double(1, metre, p.value(1, metre - 1) + (dy - t * dx));
  }
  return m;
}

// Writes the three files of `m` into `dir` as a build would.
inline void write_files(const Model& m, const std::filesystem::path& dir) {
  DiskDirectory out(dir);
  write_scenario_files(m, out);
}

// Runs a copy of the scenario program in `dir`, where it writes its files;
// true when it ended cleanly.
inline bool run_scenario_program(const std::filesystem::path& dir) {
  std::filesystem::copy_file(
      std::filesystem::path(SCENARIO_BIN_DIR) / "scenario", dir / "scenario");
  ChildProcess run({(dir / "scenario").string()},
                   {.environment = {{"DISPLAY", std::nullopt}}});
  return run.started() && run.wait_for_exit(std::chrono::seconds(60)) == 0;
}

}  // namespace scenc::testing
