#include "compiler/memorizza_dati.h"

#include <cstdlib>

#include "compiler/compile_run.h"
#include "model/cp1252.h"

namespace scenc {
namespace {

// Every source that still exists is let go. A removal that fails here
// changes nothing: the compile ends all the same.
void let_go_of_sources(CompileRun& run) {
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
}

// The general failure: the sources are let go and the compile ends with it.
void general_failure(CompileRun& run, const GeneralFailure& failure) {
  let_go_of_sources(run);
  run.raise_general_failure(failure);
}

}  // namespace

void memorizza_dati(Model& model, SourceStore& sources,
                    CompileObserver* observer, CompileMode mode) {
  CompileRun run(model, sources, observer, mode == CompileMode::kRecover);
  try {
    // The identity may be given as UTF-8 (an author's command line); the
    // slots, and the codes computed from them, carry single-byte text.
    model.scenario_slots[kLineSlot].name =
        slot_text(utf8_to_cp1252(model.line_name));
    model.scenario_slots[kTrainSlot].name =
        slot_text(utf8_to_cp1252(model.train_number));
    if (compile_line_source(run)) compile_train_source(run);
  } catch (const GeneralFailure& failure) {
    general_failure(run, failure);
  } catch (...) {
    // Anything but the compiler's own general failure (memory that ran out,
    // a fault of the program itself) is no fault of the sources: it goes on
    // to end the run. Under the fuzzer it ends the process, so that the
    // fuzzer sees it.
    let_go_of_sources(run);
#ifdef SCENARIO_FUZZ
    std::abort();
#endif
    throw;
  }
}

}  // namespace scenc
