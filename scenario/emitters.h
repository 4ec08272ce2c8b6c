// The five emitters of the scenario's fixed texts: the two sources that the
// compiler reads back and the three documents for the driver. Each writes one
// file named by the scenario's identity; the texts never change with it.
#pragma once

#include <string>

#include "model/track_model.h"
#include "output/output_directory.h"

namespace scenc {

// Each writes its document whole into `out` under the name the scenario's
// identity gives it, replacing any earlier file of that name; the build run
// calls them in this order.
void dati_linea(const Model& model, OutputDirectory& out);
void dati_treno(const Model& model, OutputDirectory& out);
void dati_note(const Model& model, OutputDirectory& out);
void dati_rallentamenti(const Model& model, OutputDirectory& out);
void dati_scheda(const Model& model, OutputDirectory& out);

// The embedded texts, as they are written (CR LF after every line).
std::string embedded_line_source();
std::string embedded_train_source();

}  // namespace scenc
