// The source compiler: reads the line source and then the train source from
// `sources` and fills the model. Faults are recorded in the model
// (`error_code`, `error_position`, `fault_log`); nothing escapes the call.
#pragma once

#include <cstdint>

#include "compiler/compile_observer.h"
#include "compiler/source_store.h"
#include "model/track_model.h"

namespace scenc {

// How a compile treats a fault of a row: a build's compile stops where the
// fault table says; a recovering compile, which only finds faults, goes on
// past each fault it can as if the row were not there.
enum class CompileMode : std::uint8_t { kBuild, kRecover };

// Compiles both sources into `model`. The caller has cleared the slots and
// set `error_code` to 0. `observer`, when given, sees what the compile reads
// and decides and changes nothing of it.
void memorizza_dati(Model& model, SourceStore& sources,
                    CompileObserver* observer = nullptr,
                    CompileMode mode = CompileMode::kBuild);

// Whether a recovering compile goes on past fault `f` (and a build's
// compile that stopped at it left rows behind it uncompiled).
bool can_go_on_past(const FaultRecord& f);

// Reorders the kilometric progressives of slots 81 to 83 in place: by first
// number, greatest first (of equal ones, the triple from the higher slot
// first); when the first numbers sum to 0, the second numbers decide. A
// triple whose third number is 1 then has 100 added to its second.
void progressive_ordina(Model& model);

}  // namespace scenc
