// `scenarioc plot`: draws the compiled scenario as one SVG picture.
#pragma once

#include <filesystem>
#include <ostream>

namespace scenc::tools {

struct PlotRequest {
  std::filesystem::path scenario;  // directory or common beginning of names
  std::filesystem::path output;    // empty: beside the slot file; "-": `out`
};

// Writes the SVG and returns the exit status; messages go to `err`.
int run_plot(const PlotRequest& request, std::ostream& out, std::ostream& err);

}  // namespace scenc::tools
