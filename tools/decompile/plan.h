// The curve rows that draw the plan of the line as the geometry file holds
// it, metre by metre. Each metre continues the step that led to the metre
// before, turned by nothing on a straight and by its class's turn in a
// curve; the turn of every metre is found as the one that draws exactly the
// point the file holds. Internal to the decompiler.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/decompile/recovery.h"

namespace scenc::tools {

struct CurveRow {
  int turn_class;  // 1 to 6
  bool left;       // "curvas" turns left, "curvad" right
  std::int64_t start;
  std::int64_t length;
};

// The curve rows, in order; notes where the plan is not one a line source
// can draw.
std::vector<CurveRow> curve_rows(Recovery& r);

}  // namespace scenc::tools
