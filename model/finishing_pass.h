// The finishing pass over the track cells: abbattimento marks around slow
// orders, then the format stamps and the scenario codes.
#pragma once

#include <cstdint>

#include "model/track_model.h"

namespace scenc {

// Runs the pass over existing track cells (N >= 1, as every compiled grid
// has). Places abbattimento marks (kind 12, value 180) before the signals
// that precede a slow-order warning, at three distances before each
// slow-order start, every 8 cells inside a slow order below 110 km/h, and
// before the first signal after a slow order's end; a mark that finds no free
// cell records fault 11, 12 or 13 at the cell times 50 and the pass goes on.
// No cell outside 0..N is read or written. Then stamps 610 into slot 85's
// `word1` and 5121 into cell 1's `value1`, the weighted code into slot 85's
// `num4` and the plain code into cell 1's `value2`.
//
// Returns 0, or the number that the error exit must show: 1250 when slot 85's
// `word1` or cell 1's `value1` is already non-zero before the stamps, 1251
// when slot 85's `num4` or cell 1's `value2` is before the codes. The pass
// then stops at once.
std::int32_t finish_track_cells(Model& model);

// The smaller of x and y; x when they are equal.
std::int32_t minimo(std::int32_t x, std::int32_t y);

}  // namespace scenc
