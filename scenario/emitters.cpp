#include "scenario/emitters.h"

#include "output/scenario_files.h"

namespace scenc {

// Placeholder texts until the documents are filled in.
std::string embedded_line_source() { return {}; }
std::string embedded_train_source() { return {}; }

void dati_linea(const Model&, OutputDirectory&) {}
void dati_treno(const Model&, OutputDirectory&) {}
void dati_note(const Model&, OutputDirectory&) {}
void dati_rallentamenti(const Model&, OutputDirectory&) {}
void dati_scheda(const Model&, OutputDirectory&) {}

}  // namespace scenc
