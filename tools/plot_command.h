// `scenarioc plot`: draws a scenario, from its compiled files or compiled in
// memory from its two sources, as one SVG picture or one HTML page that
// zooms along the line.
#pragma once

#include <filesystem>
#include <ostream>

namespace scenc::tools {

struct PlotRequest {
  // The directory or common beginning of names of the compiled files; the
  // line source when `train_source` is given.
  std::filesystem::path scenario;
  // Empty: beside the slot file (or where a compile beside the line source
  // would write it); "-": `out`.
  std::filesystem::path output;
  // Given: both sources are compiled in memory, and the compile's
  // diagnostics are drawn as well.
  std::filesystem::path train_source{};
  bool html = false;  // the HTML page instead of the SVG picture
};

// Writes the picture and returns the exit status; messages go to `err`.
int run_plot(const PlotRequest& request, std::ostream& out, std::ostream& err);

}  // namespace scenc::tools
