#include "compiler/compile_run.h"

#include <algorithm>

namespace scenc {
namespace {

char lower_ascii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

Flow flow_after(FaultEnding ending) {
  switch (ending) {
    case FaultEnding::kEndsCompile:
      return Flow::kEndCall;
    case FaultEnding::kSkipsRestOfSource:
      return Flow::kStopRows;
    case FaultEnding::kGoesOn:
    case FaultEnding::kErrorExit:
      break;
  }
  return Flow::kGoOn;
}

}  // namespace

bool contains_ignoring_case(std::string_view field, std::string_view word) {
  if (word.size() > field.size()) return false;
  const char first = lower_ascii(word[0]);
  for (std::size_t i = 0; i + word.size() <= field.size(); ++i) {
    if (lower_ascii(field[i]) != first) continue;
    std::size_t k = 1;
    while (k < word.size() && lower_ascii(field[i + k]) == lower_ascii(word[k])) ++k;
    if (k == word.size()) return true;
  }
  return false;
}

SourceStore::Status CompileRun::load_source(SourceKind which) {
  return sources.load(which, text);
}

void CompileRun::begin_source(SourceKind which) {
  reader = FieldReader(text.bytes());
  source = which;
  if (observer != nullptr) observer->source_begins(which, text.bytes());
}

void CompileRun::tell_field(std::size_t index, FieldType type) {
  // How a number's text read is worked out only for an observer, from the
  // bytes the reader took, with the reader's own rule.
  const ReadSpan span = last_span();
  NumberToken number;
  if (type != FieldType::kText) {
    number = parse_number_token(
        text.bytes().substr(reader.field_begin(),
                            reader.field_end() - reader.field_begin()));
  }
  observer->field_read(index, type, span, number);
}

std::string_view CompileRun::read_keyword() {
  const std::string_view field = reader.read_text_field();
  current.text = field;
  current.keyword = nullptr;
  current.read = 0;
  current.row =
      SourceRow{SourcePlace{source, reader.field_line(), reader.field_column()},
                reader.field_begin(), reader.field_end()};
  keyword_end_ = reader.field_end();
  model.input_line.assign(field);
  if (observer != nullptr) observer->keyword_read(last_span(), reader.at_end());
  return field;
}

bool CompileRun::next_body_keyword(std::string_view& keyword) {
  for (int comments = 0;; ++comments) {
    if (reader.at_end()) return false;
    keyword = read_keyword();
    if (reader.at_end()) return false;
    if (comments == 2 || !is_comment(keyword)) return true;
  }
}

void CompileRun::remove_source(SourceKind which) {
  bool& removed = which == SourceKind::kLine ? line_removed : train_removed;
  removed = true;
  if (!sources.remove(which)) throw failure_of(FaultCause::kSourceNotRemoved);
}

bool CurrentRow::reads_match_table() const {
  if (keyword == nullptr || read != keyword->fields.size()) return false;
  for (std::size_t i = 0; i < read; ++i) {
    if (fields[i].type != keyword->fields[i].type) return false;
  }
  return true;
}

SourcePlace CompileRun::field_place(int index) const {
  if (index >= 0 &&
      static_cast<std::size_t>(index) < std::min(current.read, kMostFields)) {
    const ReadField& f = current.fields[static_cast<std::size_t>(index)];
    return SourcePlace{source, f.line, f.column};
  }
  return current.row.keyword;
}

std::int64_t CompileRun::last_cell() const {
  if (!model.has_track_cells()) throw failure_of(FaultCause::kNoTrackCells);
  return model.last_cell();
}

TrackCell& CompileRun::cell(std::int64_t i) {
  if (i < 0 || i > last_cell()) {
    throw failure_of(FaultCause::kCellOutsideGrid, i, 0, last_cell());
  }
  TrackCell& c = model.track_cells[static_cast<std::size_t>(i)];
  if (undo.active) undo.cells.emplace_back(i, c);
  return c;
}

ScenarioSlot& CompileRun::slot(std::int64_t i) {
  ScenarioSlot& s = model.scenario_slots.at(static_cast<std::size_t>(i));
  if (undo.active) undo.slots.emplace_back(i, s);
  return s;
}

void CompileRun::begin_undo() {
  undo.cells.clear();
  undo.slots.clear();
  undo.line = line;
  undo.train = train;
  undo.plan = model.line_profile.mark();
  undo.placements = model.row_of_cell.size();
  undo.active = true;
}

void CompileRun::undo_rows() {
  for (auto c = undo.cells.rbegin(); c != undo.cells.rend(); ++c) {
    model.track_cells[static_cast<std::size_t>(c->first)] = c->second;
  }
  for (auto s = undo.slots.rbegin(); s != undo.slots.rend(); ++s) {
    model.scenario_slots[static_cast<std::size_t>(s->first)] = s->second;
  }
  static_cast<LineCursors&>(line) = undo.line;
  train = undo.train;
  model.line_profile.rewind(undo.plan);
  model.row_of_cell.resize(undo.placements);
  undo.active = false;
}

FaultRecord CompileRun::record_of(std::int32_t code) const {
  FaultRecord f;
  f.code = code;
  // Every code is raised by its name from the table, so the table has it.
  f.ending = find_fault(code)->ending;
  return f;
}

void CompileRun::record(const FaultRecord& f) {
  model.record_fault(f);
  if (observer != nullptr) observer->fault_raised(f);
}

Flow CompileRun::raise(std::int32_t code, int field,
                       std::optional<std::int32_t> position,
                       std::optional<std::int64_t> cell,
                       FaultCauseDetail cause,
                       std::optional<CellPlacement> related) {
  FaultRecord f = record_of(code);
  f.cause = cause;
  // A fault that ends the compile lets the source go before it is recorded:
  // a source that cannot be let go is the general failure instead. A
  // recovering compile lets it go only once it gives up.
  if (f.ending == FaultEnding::kEndsCompile && source != SourceKind::kNone &&
      !recovering) {
    remove_source(source);
  }
  f.position = position;
  f.place = current.row.keyword;
  f.field = field_place(field);
  f.row = current.row;
  f.placed = related;
  if (cell) {
    f.cell = static_cast<std::int32_t>(*cell);
    if (const CellPlacement* standing = model.placement_of(*f.cell)) {
      f.placed = *standing;
    }
    if (f.cause.cause == FaultCause::kNone && *cell >= 0 &&
        *cell <= last_cell()) {
      f.cause = {FaultCause::kCellTaken,
                 model.track_cells[static_cast<std::size_t>(*cell)].kind, 0,
                 0};
    }
  }
  record(f);
  return flow_after(f.ending);
}

void CompileRun::raise_for(std::int32_t code, const SourceRow& origin,
                           SourcePlace field, FaultCauseDetail cause) {
  FaultRecord f = record_of(code);
  f.place = origin.keyword;
  f.field = field;
  f.row = origin;
  f.cause = cause;
  record(f);
}

void CompileRun::raise_general_failure(const GeneralFailure& failure) {
  const bool past_end = failure.past_end;
  FaultRecord f = record_of(fault::kGeneralFailure);
  f.cause = failure.cause;
  if (past_end && current.keyword != nullptr) {
    f.cause.cause = FaultCause::kEndInsideRow;
  }
  if (source != SourceKind::kNone) {
    const SourcePlace last{source, reader.field_line(), reader.field_column()};
    f.place = last;
    f.field =
        past_end ? SourcePlace{source, reader.line(), reader.column()} : last;
    if (current.keyword != nullptr) {
      // The row that was being compiled, up to the field that failed.
      f.row = current.row;
      if (!past_end) f.row.end = std::max(f.row.end, reader.field_end());
    }
  }
  if (failure.row) {
    f.place = failure.row->keyword;
    f.row = *failure.row;
    f.field = failure.field;
  } else if (failure.field.known() && current.keyword != nullptr) {
    // A value computed from an earlier field of the row: the field that
    // holds it.
    f.field = failure.field;
  }
  record(f);
}

void CompileRun::placed(std::int64_t cell, int field) {
  model.row_of_cell.push_back(CellPlacement{static_cast<std::int32_t>(cell),
                                            current.row, field_place(field)});
}

namespace {

// Compiles the rows of `table` that `keyword` matches; `stopped` is the
// last one begun.
Flow compile_matching_rows(CompileRun& run, std::span<const Keyword> table,
                           std::string_view keyword,
                           const Keyword** stopped = nullptr) {
  for (const Keyword& k : table) {
    if (!k.matches(keyword)) continue;
    if (stopped != nullptr) *stopped = &k;
    run.begin_row(k);
    const Flow flow = k.compile(run);
    run.end_row();
    if (flow != Flow::kGoOn) return flow;
  }
  return Flow::kGoOn;
}

// Whether a failure of this cause inside a row leaves nothing behind that
// undoing the row would not put back: a value that did not fit, a cell
// outside the grid.
bool undoing_the_row_mends(FaultCause cause) {
  switch (cause) {
    case FaultCause::kNumberTooLarge:
    case FaultCause::kValueTooLarge:
    case FaultCause::kTextTooLong:
    case FaultCause::kCellOutsideGrid:
    case FaultCause::kNoSignboardSlot:
    case FaultCause::kSpeedCode:
      return true;
    default:
      return false;
  }
}

bool can_go_on_past_failure(const GeneralFailure& failure) {
  if (failure.past_end || failure.row) return false;
  return undoing_the_row_mends(failure.cause.cause);
}

// A recovering compile: the rows of one keyword field are undone when one
// of them raises a fault it can go on past, and the fields the faulting row
// had not read yet go with it, read as it would have read them: a station
// named "STAZIONE 02" left standing would begin a row of its own. What is
// skipped follows from the fields alone, wherever the line ends are.
Flow compile_rows_recovering(CompileRun& run, std::span<const Keyword> table,
                             std::string_view keyword) {
  run.begin_undo();
  Flow flow = Flow::kGoOn;
  const Keyword* stopped = nullptr;
  try {
    flow = compile_matching_rows(run, table, keyword, &stopped);
  } catch (const GeneralFailure& failure) {
    if (run.current.keyword == nullptr || !can_go_on_past_failure(failure)) {
      run.undo.active = false;
      throw;
    }
    run.raise_general_failure(failure);
    run.current.keyword = nullptr;
    flow = Flow::kEndCall;
  }
  if (flow == Flow::kGoOn) {
    run.undo.active = false;
    return flow;
  }
  if (!can_go_on_past(run.model.fault_log.back())) {
    run.undo.active = false;
    if (run.model.fault_log.back().ending == FaultEnding::kEndsCompile) {
      run.remove_source(run.source);
    }
    return flow;
  }
  run.undo_rows();
  for (std::size_t i = run.current.read;
       i < stopped->fields.size() && !run.reader.at_end(); ++i) {
    if (stopped->fields[i].type == FieldType::kText) {
      run.reader.read_text_field();
    } else {
      run.reader.read_number_token();
    }
  }
  if (run.observer != nullptr) run.observer->rows_undone();
  return Flow::kGoOn;
}

}  // namespace

bool can_go_on_past(const FaultRecord& f) {
  switch (f.code) {
    case fault::kNoLineSource:
    case fault::kNoGeneralSection:
    case fault::kLineLength:
      return false;
    case fault::kGeneralFailure:
      if (!undoing_the_row_mends(f.cause.cause)) return false;
      break;
    default:
      break;
  }
  return f.ending != FaultEnding::kGoesOn && f.row.keyword.known() &&
         f.row.end > f.row.begin;
}

Flow compile_rows(CompileRun& run, std::span<const Keyword> table,
                  std::string_view keyword) {
  if (run.observer != nullptr) run.observer->keyword_examined(table);
  if (run.recovering) return compile_rows_recovering(run, table, keyword);
  return compile_matching_rows(run, table, keyword);
}

bool compile_body(CompileRun& run, std::span<const Keyword> table) {
  std::string_view keyword;
  while (run.next_body_keyword(keyword)) {
    const Flow flow = compile_rows(run, table, keyword);
    if (flow == Flow::kEndCall) return false;
    if (flow == Flow::kStopRows) break;
  }
  return true;
}

std::string slot_text(std::string_view text) {
  if (text.size() > kLongestSlotName) {
    throw failure_of(FaultCause::kTextTooLong,
                     static_cast<std::int64_t>(text.size()), 0,
                     kLongestSlotName);
  }
  return std::string(text);
}

}  // namespace scenc
