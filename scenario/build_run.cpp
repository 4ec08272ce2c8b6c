#include "scenario/build_run.h"

#include "compiler/memorizza_dati.h"
#include "model/faults.h"
#include "model/finishing_pass.h"
#include "output/scenario_files.h"
#include "scenario/emitters.h"

namespace scenc {

std::string error_exit_text(const std::string& a) { return " Errore n. " + a; }

void set_embedded_identity(Model& model) {
  model.line_name = kEmbeddedLineName;
  model.train_number = kEmbeddedTrainNumber;
}

void write_scenario_texts(const Model& model, OutputDirectory& out) {
  dati_linea(model, out);
  dati_treno(model, out);
  dati_note(model, out);
  dati_rallentamenti(model, out);
  dati_scheda(model, out);
}

BuildOutcome compile_scenario(Model& model, std::int32_t j,
                              SourceStore& sources, CompileObserver* observer,
                              CompileMode mode) {
  BuildOutcome outcome;
  model.clear_for_build(j);
  memorizza_dati(model, sources, observer, mode);
  if (!model.has_track_cells()) {
    // Nothing to finish or write: a compile that stopped before the length
    // row ends at the error exit with its own fault number.
    outcome.error_exit =
        model.error_code != 0 ? model.error_code : fault::kGeneralFailure;
    return outcome;
  }
  outcome.error_exit = finish_track_cells(model);
  return outcome;
}

BuildOutcome memorizza_percorso(Model& model, std::int32_t j,
                                SourceStore& sources, OutputDirectory& out) {
  BuildOutcome outcome = compile_scenario(model, j, sources);
  if (outcome.error_exit != 0) return outcome;
  outcome.files_written = write_scenario_files(model, out);
  return outcome;
}

std::vector<std::string> write_scenario_files(const Model& model,
                                              OutputDirectory& out) {
  std::vector<std::string> names;
  if (model.write_line_file != 0) {
    names.push_back(ScenarioFileNames::line_geometry(model));
    out.write(names.back(), [&](ByteWriter& w) {
      write_line_geometry_file(model.line_profile, w);
    });
  }
  names.push_back(ScenarioFileNames::slot_file(model));
  out.write(names.back(), [&](ByteWriter& w) { write_slot_file(model, w); });
  names.push_back(ScenarioFileNames::cell_file(model));
  out.write(names.back(), [&](ByteWriter& w) { write_cell_file(model, w); });
  return names;
}

int exit_status_of(const Model& model, const BuildOutcome& outcome) {
  if (outcome.error_exit != 0) return exit_status::kErrorExit;
  return model.error_code != 0 ? exit_status::kFaultRecorded
                               : exit_status::kClean;
}

}  // namespace scenc
