#include <iostream>
#include <memory>

#include "output/file_system.h"
#include "scenario/build_run.h"
#include "tools/commands.h"
#include "tools/plot_command.h"
#include "tools/scenario_set.h"
#include "tools/svg_plot.h"

namespace scenc::tools {

int run_plot(const PlotRequest& req, std::ostream& out, std::ostream& err) {
  try {
    const ScenarioSet scenario = load_scenario(req.scenario);
    const std::string svg = render_plot_svg(scenario);
    if (req.output == "-") {
      out << svg;
      out.flush();
      return 0;
    }
    const std::filesystem::path target =
        req.output.empty() ? std::filesystem::path(scenario.slot_path)
                                 .replace_extension(".svg")
                           : req.output;
    // Written beside its final name and renamed, like every file of ours.
    DiskDirectory dir(target.has_parent_path() ? target.parent_path() : ".");
    dir.write(target.filename().string(), [&](ByteWriter& w) { w.bytes(svg); });
    err << "scenarioc plot: wrote " << target.string() << "\n";
    return 0;
  } catch (const ToolError& e) {
    err << "scenarioc plot: " << e.message << "\n";
    return e.status;
  } catch (const FileError& e) {
    err << "scenarioc plot: " << e.file << ": " << e.reason << "\n";
    return exit_status::kFileFailed;
  }
}

void register_plot_command(CLI::App& app, int& status) {
  auto request = std::make_shared<PlotRequest>();
  CLI::App* plot = app.add_subcommand(
      "plot",
      "Draw the compiled scenario as one SVG picture: the plan of the "
      "line and the profile along it");
  plot->add_option("DIR_OR_PREFIX", request->scenario,
                   "directory holding one scenario's files, or the beginning "
                   "of their names (DIR/LINE_TRAIN)")
      ->required();
  plot->add_option("-o,--output", request->output,
                   "the SVG file to write (default: beside the slot file, "
                   "ending .svg; - for standard output)");
  plot->callback([request, &status] {
    status = run_plot(*request, std::cout, std::cerr);
  });
}

}  // namespace scenc::tools
