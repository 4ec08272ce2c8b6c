// The zoomable view of a scenario as one self-contained HTML page: the lanes
// of the SVG picture drawn by a small script of its own (no library, no
// network), panning and zooming along the line down to single 50 m cells,
// each cell's decoded fields on hover, and the diagnostics listed beside
// the lanes, each one a link to its place on the line.
#pragma once

#include <string>

#include "tools/plot/scene.h"

namespace scenc::tools {

std::string render_plot_html(const PlotScene& scene);

}  // namespace scenc::tools
