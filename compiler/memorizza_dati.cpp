#include "compiler/memorizza_dati.h"

#include "compiler/compile_run.h"
#include "model/cp1252.h"

namespace scenc {
namespace {

// The general failure: whatever went wrong, every source that still exists
// is let go and the compile ends with it.
void general_failure(CompileRun& run, bool past_end) {
  // A removal that fails here changes nothing: the fault is recorded.
  try {
    if (run.line_found && !run.line_removed) {
      run.line_removed = true;
      run.sources.remove(SourceKind::kLine);
    }
    if (!run.train_removed) {
      run.train_removed = true;
      run.sources.remove(SourceKind::kTrain);
    }
  } catch (...) {
  }
  run.raise_general_failure(past_end);
}

}  // namespace

void memorizza_dati(Model& model, SourceStore& sources) {
  CompileRun run(model, sources);
  try {
    // The identity may be given as UTF-8 (an author's command line); the
    // slots, and the codes computed from them, carry single-byte text.
    model.scenario_slots[kLineSlot].name =
        slot_text(utf8_to_cp1252(model.line_name));
    model.scenario_slots[kTrainSlot].name =
        slot_text(utf8_to_cp1252(model.train_number));
    if (compile_line_source(run)) compile_train_source(run);
  } catch (const GeneralFailure& failure) {
    general_failure(run, failure.past_end);
  } catch (...) {
    general_failure(run, false);
  }
}

}  // namespace scenc
