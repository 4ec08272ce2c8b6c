#include "compiler/memorizza_dati.h"

namespace scenc {

void memorizza_dati(Model&, SourceStore&) {}

}  // namespace scenc
