#include "model/scenario_codes.h"

namespace scenc {

std::int32_t codice_gara_og(Model&) { return 0; }
std::int32_t codice_gara_st(Model&) { return 0; }

}  // namespace scenc
