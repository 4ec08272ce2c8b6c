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

void CompileRun::begin_source(SourceKind which, std::string text) {
  bytes = std::move(text);
  reader = FieldReader(bytes);
  source = which;
  if (observer != nullptr) observer->source_begins(which, bytes);
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
  return model.track_cells[static_cast<std::size_t>(i)];
}

FaultRecord CompileRun::record_of(std::int32_t code) const {
  FaultRecord f;
  f.code = code;
  // Every code is raised by its name from the table, so the table has it.
  f.ending = find_fault(code)->ending;
  return f;
}

Flow CompileRun::raise(std::int32_t code, int field,
                       std::optional<std::int32_t> position,
                       std::optional<std::int64_t> cell,
                       FaultCauseDetail cause) {
  FaultRecord f = record_of(code);
  f.cause = cause;
  // A fault that ends the compile lets the source go before it is recorded:
  // a source that cannot be let go is the general failure instead.
  if (f.ending == FaultEnding::kEndsCompile && source != SourceKind::kNone) {
    remove_source(source);
  }
  f.position = position;
  f.place = current.row.keyword;
  f.field = field_place(field);
  f.row = current.row;
  if (cell) {
    f.cell = static_cast<std::int32_t>(*cell);
    if (const CellPlacement* standing = model.placement_of(*f.cell)) {
      f.placed = *standing;
    }
  }
  model.record_fault(f);
  return flow_after(f.ending);
}

void CompileRun::raise_for(std::int32_t code, const SourceRow& origin,
                           SourcePlace field) {
  FaultRecord f = record_of(code);
  f.place = origin.keyword;
  f.field = field;
  f.row = origin;
  model.record_fault(f);
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
  }
  model.record_fault(f);
}

void CompileRun::placed(std::int64_t cell, int field) {
  model.row_of_cell.push_back(CellPlacement{static_cast<std::int32_t>(cell),
                                            current.row, field_place(field)});
}

Flow compile_rows(CompileRun& run, std::span<const Keyword> table,
                  std::string_view keyword) {
  if (run.observer != nullptr) run.observer->keyword_examined(table);
  for (const Keyword& k : table) {
    if (!k.matches(keyword)) continue;
    run.begin_row(k);
    const Flow flow = k.compile(run);
    run.end_row();
    if (flow != Flow::kGoOn) return flow;
  }
  return Flow::kGoOn;
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
