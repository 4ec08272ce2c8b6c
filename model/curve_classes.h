// The six classes of curve a line source names ("curvad3", "curvas5"): the
// turn per metre the plan takes in each, that is the curvature in 1/m.
// Classes 1 to 6 stand for radii of 10000, 5000, 2500, 1000 and 500 metres
// and of 1/0.003, about 333 metres. A positive turn bends the heading from
// +y towards +x (a right-hand curve), a negative one to the left.
#pragma once

#include <array>
#include <cstddef>

namespace scenc {

inline constexpr std::array<double, 6> kCurveClassTurns = {
    0.0001, 0.0002, 0.0004, 0.001, 0.002, 0.003};

// The turn of class `c` (1 to 6).
constexpr double curve_class_turn(int c) {
  return kCurveClassTurns[static_cast<std::size_t>(c - 1)];
}

}  // namespace scenc
