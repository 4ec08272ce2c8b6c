#include "scenario/emitters.h"

#include "output/scenario_files.h"
#include "scenario/texts/line_source.h"
#include "scenario/texts/notes.h"
#include "scenario/texts/slow_order_notice.h"
#include "scenario/texts/timetable_card.h"
#include "scenario/texts/train_source.h"

namespace scenc {
namespace {

constexpr DocumentTable kLineSource{texts::kLineSource};
constexpr DocumentTable kTrainSource{texts::kTrainSource};
constexpr DocumentTable kNotes{texts::kNotes};
constexpr DocumentTable kSlowOrderNotice{texts::kSlowOrderNotice};
constexpr DocumentTable kTimetableCard{texts::kTimetableCard};

void write_document(OutputDirectory& out, const std::string& name,
                    const DocumentTable& table) {
  out.write(name, [&](ByteWriter& w) { table.write(w); });
}

std::string rendered(const DocumentTable& table) {
  StringSink sink;
  ByteWriter out(sink);
  table.write(out);
  out.flush();
  return std::move(sink.bytes);
}

}  // namespace

std::string embedded_line_source() { return rendered(kLineSource); }
std::string embedded_train_source() { return rendered(kTrainSource); }

void dati_linea(const Model& model, OutputDirectory& out) {
  write_document(out, ScenarioFileNames::line_source(model), kLineSource);
}

void dati_treno(const Model& model, OutputDirectory& out) {
  write_document(out, ScenarioFileNames::train_source(model), kTrainSource);
}

void dati_note(const Model& model, OutputDirectory& out) {
  write_document(out, ScenarioFileNames::notes(model), kNotes);
}

void dati_rallentamenti(const Model& model, OutputDirectory& out) {
  write_document(out, ScenarioFileNames::slow_order_notice(model),
                 kSlowOrderNotice);
}

void dati_scheda(const Model& model, OutputDirectory& out) {
  write_document(out, ScenarioFileNames::timetable_card(model), kTimetableCard);
}

}  // namespace scenc
