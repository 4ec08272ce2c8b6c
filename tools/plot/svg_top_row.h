// The top row of the plot's SVG picture: the plan of the line from its
// geometry, the legend of every symbol, and the timetable of the stations.
#pragma once

#include "tools/plot/scene.h"
#include "tools/plot/svg_writer.h"

namespace scenc::tools {

// Draws the row from `top` down and returns its height; widens the page's
// `width` when the timetable needs more room.
double draw_top_row(SvgWriter& svg, const PlotScene& scene, double top,
                    double& width);

}  // namespace scenc::tools
