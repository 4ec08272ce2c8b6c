#include "compiler/memorizza_dati.h"

#include <cstdlib>

#include "compiler/compile_run.h"
#include "model/cp1252.h"

namespace scenc {
namespace {

// Called from the catch-all: returns when the exception being handled is the
// compiler's own general failure, fault 25. Anything else (memory that ran
// out, a fault of the program itself) is no fault of the sources and goes
// on to end the run; under the fuzzer it ends the process, so that the
// fuzzer sees it.
void rethrow_unless_general_failure() {
  try {
    throw;
  } catch (const GeneralFailure&) {
    return;
  } catch (...) {
#ifdef SCENARIO_FUZZ
    std::abort();
#endif
    throw;
  }
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
  } catch (...) {
    // The general failure: whatever went wrong, every source that still
    // exists is let go and the compile ends with fault 25.
    // A removal that fails here changes nothing: the fault is recorded.
    try {
      if (run.line_found && !run.line_removed) {
        run.line_removed = true;
        sources.remove(SourceKind::kLine);
      }
      if (!run.train_removed) {
        run.train_removed = true;
        sources.remove(SourceKind::kTrain);
      }
    } catch (...) {
    }
    rethrow_unless_general_failure();
    const SourcePlace place =
        run.source == SourceKind::kNone
            ? SourcePlace{}
            : SourcePlace{run.source, run.reader.field_line(),
                          run.reader.field_column()};
    model.record_fault(25, std::nullopt, place);
  }
}

}  // namespace scenc
