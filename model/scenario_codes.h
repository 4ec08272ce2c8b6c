// The two scenario codes derived from the train number and the line name.
#pragma once

#include <cstdint>

#include "model/track_model.h"

namespace scenc {

// The plain code: the sum of the first 25 characters of the code string.
std::int32_t codice_gara_og(Model& model);
// The weighted code: each of the first 25 characters times its position.
std::int32_t codice_gara_st(Model& model);

}  // namespace scenc
