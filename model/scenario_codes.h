// The two scenario codes derived from the train number and the line name.
//
// Both build the code string afresh and leave it in `input_line`: slot 86's
// name (the train number) followed by slot 85's name (the line name), the
// two lower-cased in Windows-1252, then the 26-letter filler
// "ppqqrrssttuuvvzzwwxxyykkjj". Only its first 25 characters enter the codes,
// each as its byte value 0..255, so the order of the two calls does not
// matter and neither code can be negative.
#pragma once

#include <cstdint>

#include "model/track_model.h"

namespace scenc {

// The plain code: the sum of the first 25 characters, at most 6375, so it
// fits the 16-bit field of cell 1.
std::int32_t codice_gara_og(Model& model);
// The weighted code: each of the first 25 characters times its 1-based
// position, at most 82875.
std::int32_t codice_gara_st(Model& model);

}  // namespace scenc
