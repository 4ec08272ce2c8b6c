#include "app/form1.h"

#include "scenario/build_run.h"

namespace scenc {

int Form1::Form_Load() {
  set_embedded_identity(model);
  platform_.show_waiting_window();

  write_scenario_texts(model, directory_);

  const BuildOutcome outcome =
      memorizza_percorso(model, 1, sources_, directory_);
  if (outcome.error_exit != 0) return errore(std::to_string(outcome.error_exit));

  platform_.close_window();
  return exit_status_of(model, outcome);
}

int Form1::errore(const std::string& a) {
  platform_.show_error_box(error_exit_text(a));
  platform_.close_window();
  return exit_status::kErrorExit;
}

}  // namespace scenc
