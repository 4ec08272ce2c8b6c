#include "app/form1.h"

#include "app/memorizza_percorso.h"
#include "scenario/emitters.h"

namespace scenc {

std::string error_exit_text(const std::string& a) { return " Errore n. " + a; }

int Form1::Form_Load() {
  model.line_name = kEmbeddedLineName;
  model.train_number = kEmbeddedTrainNumber;
  platform_.show_waiting_window();

  dati_linea(model, directory_);
  dati_treno(model, directory_);
  dati_note(model, directory_);
  dati_rallentamenti(model, directory_);
  dati_scheda(model, directory_);

  const BuildOutcome outcome =
      memorizza_percorso(model, 1, sources_, directory_);
  if (outcome.error_exit != 0) return errore(std::to_string(outcome.error_exit));

  platform_.close_window();
  return model.error_code != 0 ? exit_status::kFaultRecorded
                               : exit_status::kClean;
}

int Form1::errore(const std::string& a) {
  platform_.show_error_box(error_exit_text(a));
  platform_.close_window();
  return exit_status::kErrorExit;
}

}  // namespace scenc
