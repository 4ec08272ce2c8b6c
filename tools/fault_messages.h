// What each fault number means, in plain words, for scenarioc's diagnostics.
#pragma once

#include <cstdint>
#include <string>

#include "model/track_model.h"

namespace scenc::tools {

// One line saying what went wrong, for every fault number a compile or the
// finishing pass can record.
std::string fault_message(std::int32_t code);

// The source a fault belongs to when the fault itself does not say: the
// source in which the rows that raise it are written.
SourceKind usual_source_of(std::int32_t code);

}  // namespace scenc::tools
