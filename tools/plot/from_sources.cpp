#include "tools/plot/from_sources.h"

#include <algorithm>

#include "output/file_system.h"
#include "output/scenario_files.h"
#include "scenario/build_run.h"
#include "tools/check/check.h"
#include "tools/decode/source_names.h"

namespace scenc::tools {
namespace {

// A source is read whole, as `compile` reads it.
std::string source_bytes(const std::filesystem::path& path) {
  std::string reason;
  std::optional<std::string> bytes = read_source(path, reason);
  if (!bytes) {
    throw ToolError{exit_status::kFileFailed, path.string() + ": " + reason};
  }
  return std::move(*bytes);
}

}  // namespace

CompiledSources compile_sources(const std::filesystem::path& line_source,
                                const std::filesystem::path& train_source) {
  // Both are read first, so that one that cannot be read stops the run
  // before any compile.
  std::string line_bytes = source_bytes(line_source);
  std::string train_bytes = source_bytes(train_source);
  // The check compiles the sources as given, exactly as a build does, and
  // finds every fault and warning beside.
  const std::string line_name = default_line_name(line_source);
  const CheckResult check =
      check_sources(line_bytes, train_bytes, line_name,
                    default_train_number(train_source, line_name));
  const Model& model = check.model;
  MemoryDirectory files;
  // At the error exit nothing is written; the cells as they stand then
  // still show where the build went wrong.
  if (check.error_exit == 0 || model.has_track_cells()) {
    write_scenario_files(model, files);
  }

  CompiledSources out;
  std::vector<PlotDiagnostic>& diagnostics = out.findings.diagnostics;
  diagnostics =
      plot_diagnostics(check, line_source.string(), train_source.string());
  out.findings.stops = compile_stops(check, diagnostics);
  // An error exit the check told at its row needs no second word here.
  const bool told = std::any_of(
      check.diagnostics.begin(), check.diagnostics.end(),
      [&](const AuthorDiagnostic& d) { return d.code == check.error_exit; });
  if (check.error_exit != 0 && !told) {
    PlotDiagnostic d;
    d.check = "error-exit";
    d.message = "the build ends at its error exit:" +
                error_exit_text(std::to_string(check.error_exit)) +
                "; no binary file is written";
    d.file = line_source.string();
    diagnostics.insert(diagnostics.begin(), std::move(d));
  }

  ScenarioSet& set = out.scenario;
  const std::filesystem::path dir = line_source.parent_path();
  set.slot_path = dir / ScenarioFileNames::slot_file(model);
  set.cell_path = dir / ScenarioFileNames::cell_file(model);
  const auto slots = files.files.find(ScenarioFileNames::slot_file(model));
  const auto cells = files.files.find(ScenarioFileNames::cell_file(model));
  if (slots == files.files.end() || cells == files.files.end()) {
    // The compile stopped before the grid existed: only the slots it filled.
    set.slots = model.scenario_slots;
    return out;
  }
  std::optional<std::string> geometry;
  const auto plan = files.files.find(ScenarioFileNames::line_geometry(model));
  if (plan != files.files.end()) {
    set.geometry_path = dir / plan->first;
    geometry = std::move(plan->second);
  }
  decode_scenario(set, slots->second, cells->second, geometry);
  return out;
}

}  // namespace scenc::tools
