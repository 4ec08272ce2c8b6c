#include "tools/plot_command.h"

#include <iostream>
#include <memory>
#include <vector>

#include "output/file_system.h"
#include "scenario/build_run.h"
#include "tools/check/diagnostic_output.h"
#include "tools/commands.h"
#include "tools/decode/scenario_set.h"
#include "tools/plot/from_sources.h"
#include "tools/plot/html_plot.h"
#include "tools/plot/svg_plot.h"

namespace scenc::tools {

int run_plot(const PlotRequest& req, std::ostream& out, std::ostream& err) {
  try {
    ScenarioSet scenario;
    std::optional<SourceFindings> findings;
    if (req.train_source.empty()) {
      scenario = load_scenario(req.scenario);
    } else {
      CompiledSources compiled =
          compile_sources(req.scenario, req.train_source);
      scenario = std::move(compiled.scenario);
      findings = std::move(compiled.findings);
    }
    const PlotScene scene = make_scene(scenario, std::move(findings));
    const std::string picture =
        req.html ? render_plot_html(scene) : render_plot_svg(scene);
    if (req.output == "-") {
      out << picture;
      out.flush();
      return 0;
    }
    const std::filesystem::path target =
        req.output.empty() ? std::filesystem::path(scenario.slot_path)
                                 .replace_extension(req.html ? ".html" : ".svg")
                           : req.output;
    // Written beside its final name and renamed, like every file of ours.
    DiskDirectory dir(target.has_parent_path() ? target.parent_path() : ".");
    dir.write(target.filename().string(),
              [&](ByteWriter& w) { w.bytes(picture); });
    err << terminal_text("scenarioc plot: wrote " + target.string()) << "\n";
    return 0;
  } catch (const ToolError& e) {
    err << terminal_text("scenarioc plot: " + e.message) << "\n";
    return e.status;
  } catch (const FileError& e) {
    err << terminal_text("scenarioc plot: " + e.file + ": " + e.reason) << "\n";
    return exit_status::kFileFailed;
  }
}

void register_plot_command(CLI::App& app, int& status) {
  auto request = std::make_shared<PlotRequest>();
  CLI::App* plot = app.add_subcommand(
      "plot",
      "Draw a scenario as one SVG picture (or, with --html, one page that "
      "zooms along the line): the plan of the line and the profile along "
      "it, from its compiled files or from its two sources");
  // One input or two, which the help's usage line and the message for a
  // third say in words.
  plot->add_option("INPUT", request->scenario,
                   "a directory holding one scenario's files, or the "
                   "beginning of their names (DIR/LINE_TRAIN); or the line "
                   "source, with the train source after it")
      ->required();
  plot->add_option("TRAIN_SOURCE", request->train_source,
                   "the train source: both sources are compiled in memory, "
                   "with their faults drawn on the line");
  plot->allow_extras();
  plot->add_option("-o,--output", request->output,
                   "the file to write (default: beside the slot file, or "
                   "beside the line source, named LINE_TRAIN.svg or .html; "
                   "- for standard output)");
  plot->add_flag("--html", request->html,
                 "write one self-contained HTML page that pans and zooms "
                 "down to single 50 m cells, with the diagnostics beside it");
  plot->footer(
      "Examples:\n"
      "  scenarioc plot out/\n"
      "  scenarioc plot mine/Firenze_Pisa_linea.txt "
      "mine/Firenze_Pisa_11711-.txt --html\n");
  plot->callback([plot, request, &status] {
    if (!plot->remaining().empty()) {
      std::string extra;
      for (const std::string& word : plot->remaining()) extra += " " + word;
      std::cerr << terminal_text(
                       "scenarioc plot: takes one input (a scenario's "
                       "directory or the beginning of its file names) or two "
                       "(its line source and train source); not expected:" +
                       extra)
                << "\nRun with --help for more information.\n";
      status = exit_status::kUsageError;
      return;
    }
    status = run_plot(*request, std::cout, std::cerr);
  });
}

}  // namespace scenc::tools
