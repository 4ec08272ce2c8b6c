// The picture of a compiled scenario as one SVG document: the plan of the
// line from the geometry file, and below it the profile along the line in
// kilometres (gradient, speed limit, stations, signals, boards, signboards,
// mountains, slow orders with their warnings, abbattimento marks), with
// axes, units and a legend. Plain text, no plotting library.
#pragma once

#include <string>

#include "tools/scenario_set.h"

namespace scenc::tools {

std::string render_plot_svg(const ScenarioSet& scenario);

}  // namespace scenc::tools
