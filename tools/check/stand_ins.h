// What stands in for a partner source that cannot be found, so that the
// source at hand is still compiled and checked: a line of the longest
// length, against which no train row fails for being beyond the line's end,
// and a train with no row.
#pragma once

#include <string_view>

namespace scenc::tools {

inline constexpr std::string_view kStandInLine =
    "[generale]\r\nlunghezza percorso, 1000000\r\n[fine]\r\n";
inline constexpr std::string_view kStandInTrain = "[generale]\r\n[fine]\r\n";

}  // namespace scenc::tools
