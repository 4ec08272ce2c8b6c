// The mountain rows that give the cells their mountain types and markers.
// A row's type holds over its cells (a later row over an earlier one), a
// type above 10 is stored less 10 with a marker every fourth cell, and a
// row that starts 150 m or less after the end of the row before it becomes
// type 3. Internal to the decompiler.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/track_model.h"

namespace scenc::tools {

struct MountainRow {
  std::int64_t inizio;
  std::int64_t fine;
  std::int64_t tipo;
  std::string comment;  // why a row that covers no cell is there
};

// The rows, in the order to write them, for the cells 0 to N.
std::vector<MountainRow> mountain_rows(const std::vector<TrackCell>& cells);

}  // namespace scenc::tools
