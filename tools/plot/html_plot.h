// The zoomable view of a scenario as one self-contained HTML page: the lanes
// of the SVG picture drawn by a small script of its own (no library, no
// network), panning and zooming along the line down to single 50 m cells,
// each cell's decoded fields on hover, and the diagnostics listed beside
// the lanes, each one a link to its place on the line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/plot/scene.h"

namespace scenc::tools {

// `live`: the page follows a server's compiles (`scenarioc serve`), and
// this is the number of the compile it shows.
std::string render_plot_html(const PlotScene& scene,
                             std::optional<std::uint64_t> live = {});

// The data the page draws, as one line of JSON: the page carries it, and
// the server sends it anew after each compile.
std::string plot_scene_json(const PlotScene& scene,
                            std::optional<std::uint64_t> live = {});
// The page around data that plot_scene_json() made for `scene`.
std::string plot_page(const PlotScene& scene, const std::string& json);

}  // namespace scenc::tools
