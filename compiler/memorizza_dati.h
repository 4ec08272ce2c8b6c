// The source compiler: reads the line source and then the train source from
// `sources` and fills the model. Faults are recorded in the model
// (`error_code`, `error_position`, `fault_log`); nothing escapes the call.
#pragma once

#include "compiler/compile_observer.h"
#include "compiler/source_store.h"
#include "model/track_model.h"

namespace scenc {

// Compiles both sources into `model`. The caller has cleared the slots and
// set `error_code` to 0. `observer`, when given, sees what the compile reads
// and changes nothing of it.
void memorizza_dati(Model& model, SourceStore& sources,
                    CompileObserver* observer = nullptr);

// Reorders the kilometric progressives of slots 81 to 83 in place: by first
// number, greatest first (of equal ones, the triple from the higher slot
// first); when the first numbers sum to 0, the second numbers decide. A
// triple whose third number is 1 then has 100 added to its second.
void progressive_ordina(Model& model);

}  // namespace scenc
