// A generated scenario at the limits of the grid and the slots, for timing
// the compile on the largest input it accepts: a line of 1,000,000 m with a
// gradient row every 500 m, a curve of every class every 1,000 m, a
// speed-indicator board every 2 km, mountains and signboards, and a train with
// as many stations as the slots left by the signboards allow, a signal every
// 1,500 m and a slow order every 20 km at speeds below and above 110 km/h.
//
// Every mark is placed on a cell that is free when its row is compiled, and
// each slow order leaves the finishing pass a free cell for every mark it
// places, so the pair compiles without a fault.
#pragma once

#include <cstdint>
#include <string>

#include "model/track_model.h"

namespace scenc::bench {

struct MaximalScenarioOptions {
  // Signboard texts take slots from 80 downward; each one costs a station.
  int signboards = 8;
};

struct MaximalScenario {
  std::string line_source;   // CR LF text, as the emitters write it
  std::string train_source;
  std::int32_t length = 0;   // metres
  int gradient_rows = 0;
  int curves = 0;
  int boards = 0;
  int mountains = 0;
  int signboards = 0;
  int stations = 0;
  int signals = 0;
  int slow_orders = 0;
};

// The line is always the longest the compiler accepts, 1,000,000 m.
inline constexpr std::int32_t kMaximalLength = kLongestLine;

// The most stations that fit beside `signboards` signboard texts: stations
// take slots from 1 upward and must stay two below the lowest signboard slot.
constexpr int most_stations(int signboards) {
  return kFirstSignboardSlot - 2 - signboards;
}
static_assert(most_stations(0) == 78);

MaximalScenario generate_maximal_scenario(const MaximalScenarioOptions& options = {});

}  // namespace scenc::bench
