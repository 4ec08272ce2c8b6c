// The finishing pass over the track cells: abbattimento marks around slow
// orders, then the format stamps and the scenario codes.
#pragma once

#include <cstdint>

#include "model/track_model.h"

namespace scenc {

// Runs the pass over existing track cells. Returns 0, or the number that the
// error exit must show (1250 or 1251) when a stamp check fails; the pass then
// stops at once.
std::int32_t finish_track_cells(Model& model);

// The smaller of x and y; x when they are equal.
std::int32_t minimo(std::int32_t x, std::int32_t y);

}  // namespace scenc
