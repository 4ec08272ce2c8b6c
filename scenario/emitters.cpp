#include "scenario/emitters.h"

#include "output/scenario_files.h"
#include "scenario/texts/line_source.h"
#include "scenario/texts/notes.h"
#include "scenario/texts/slow_order_notice.h"
#include "scenario/texts/timetable_card.h"
#include "scenario/texts/train_source.h"

namespace scenc {
namespace {

constexpr auto kLineSource = written_document<texts::kLineSource>();
constexpr auto kTrainSource = written_document<texts::kTrainSource>();
constexpr auto kNotes = written_document<texts::kNotes>();
constexpr auto kSlowOrderNotice = written_document<texts::kSlowOrderNotice>();
constexpr auto kTimetableCard = written_document<texts::kTimetableCard>();

template <std::size_t N>
std::string_view bytes_of(const std::array<char, N>& document) {
  return {document.data(), document.size()};
}

void write_document(OutputDirectory& out, const std::string& name,
                    std::string_view document) {
  out.write(name, [document](ByteWriter& w) { w.bytes(document); });
}

}  // namespace

std::string embedded_line_source() {
  return std::string(bytes_of(kLineSource));
}
std::string embedded_train_source() {
  return std::string(bytes_of(kTrainSource));
}

void dati_linea(const Model& model, OutputDirectory& out) {
  write_document(out, ScenarioFileNames::line_source(model),
                 bytes_of(kLineSource));
}

void dati_treno(const Model& model, OutputDirectory& out) {
  write_document(out, ScenarioFileNames::train_source(model),
                 bytes_of(kTrainSource));
}

void dati_note(const Model& model, OutputDirectory& out) {
  write_document(out, ScenarioFileNames::notes(model), bytes_of(kNotes));
}

void dati_rallentamenti(const Model& model, OutputDirectory& out) {
  write_document(out, ScenarioFileNames::slow_order_notice(model),
                 bytes_of(kSlowOrderNotice));
}

void dati_scheda(const Model& model, OutputDirectory& out) {
  write_document(out, ScenarioFileNames::timetable_card(model),
                 bytes_of(kTimetableCard));
}

}  // namespace scenc
