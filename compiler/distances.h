// The distances along the line that the compile's placements rest on, for
// the stages and for whatever reads sources or compiled files as the compile
// does. The length of a cell lives with the grid (model/track_model.h).
#pragma once

namespace scenc {

// A mountain that starts this many metres or less after the previous one
// ends is joined to it: the compiler makes it type 3.
inline constexpr int kMountainJoinGap = 150;
// A station's extent starts at least this many metres after the end of the
// station before it, or the row is fault 22.
inline constexpr int kStationGap = 350;
// A slow order beyond the line's first 1500 m is warned this many metres
// before its start.
inline constexpr int kWarningDistance = 1200;

}  // namespace scenc
