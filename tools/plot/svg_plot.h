// The picture of a compiled scenario as one SVG document: the plan of the
// line from the geometry file, and below it the profile along the line in
// kilometres (stations, gradient and mountains, curves, speed limit and slow
// orders, signals, boards, signboards, slow-order warnings, abbattimento
// marks and, for a picture made from sources, the check's faults and warnings),
// with axes, units and a legend. Every label has a place of its own: none
// covers another. Plain text, no plotting library.
#pragma once

#include <string>

#include "tools/plot/scene.h"
#include "tools/decode/scenario_set.h"

namespace scenc::tools {

std::string render_plot_svg(const PlotScene& scene);
// The picture of compiled files, without diagnostics.
std::string render_plot_svg(const ScenarioSet& scenario);

}  // namespace scenc::tools
