#include "tools/check/fault_words.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "tools/check/spelling.h"

namespace scenc::tools {
namespace {

using Row = SourceAccount::Row;
using AccountField = SourceAccount::Field;

std::string num(std::int64_t v) { return std::to_string(v); }

struct MessageRow {
  std::int32_t code;
  FaultCause cause;
  FaultRoot root;
  std::string_view text;
};
constexpr MessageRow kMessages[] = {
#define FAULT_MESSAGE(code, cause, root, text) \
  {code, FaultCause::cause, FaultRoot::root, text},
#include "model/fault_messages.def"
#undef FAULT_MESSAGE
};

// The template of a fault and its cause, else of the fault alone.
const MessageRow* message_of(std::int32_t code, FaultCause cause) {
  const MessageRow* any = nullptr;
  for (const MessageRow& m : kMessages) {
    if (m.code != code) continue;
    if (m.cause == cause) return &m;
    if (m.cause == FaultCause::kNone) any = &m;
  }
  return any;
}

// What stands on a cell that a row wanted: "a signal", "the end of a slow
// order".
std::string_view kind_on_cell(std::int64_t kind) {
  const CellKindInfo* k = kind >= 0 && kind <= 0xFF
                              ? cell_kind_info(static_cast<std::uint8_t>(kind))
                              : nullptr;
  return k != nullptr && k->standing != nullptr ? k->standing : "a mark";
}

std::string_view type_words(std::int64_t lowest, std::int64_t highest) {
  if (lowest == 0 && highest == 255) return "a byte";
  if (lowest == -32768 && highest == 32767) return "a 16-bit field";
  if (lowest == -2147483648LL && highest == 2147483647LL) {
    return "a 32-bit field";
  }
  return "its field";
}

// What the row of a fault is when the account does not keep it.
std::string_view row_of_fault(std::int32_t code) {
  switch (code) {
    case fault::kSignboardCellTaken:
      return "signboard";
    case fault::kAbbattimentoCellTaken:
      return "abbattimento";
    case fault::kStationPosition:
    case fault::kStationLength:
    case fault::kTooManyStations:
    case fault::kStationsTooClose:
    case fault::kStationTooEarly:
      return "station";
    case fault::kSignalCellTaken:
      return "signal";
    case fault::kNoMarkBeforeSignal:
    case fault::kNoMarkBeforeSlowOrder:
    case fault::kNoMarkInsideSlowOrder:
    case fault::kWarningCellTaken:
    case fault::kSlowOrderStartTaken:
    case fault::kSlowOrderEndTaken:
    case fault::kApproachCellsTaken:
      return "slow order";
    case fault::kBoardCellTaken:
      return "speed-indicator board";
    case fault::kBadCurve:
      return "curve";
    default:
      return "row";
  }
}

std::string line_word(const SourcePlace& p, SourceKind from) {
  std::string s = "line " + num(p.line);
  if (p.source != from) {
    s += p.source == SourceKind::kTrain ? " of the train source"
                                        : " of the line source";
  }
  return s;
}

// What the compile's account says of a fault's row and field.
struct Said {
  const SourceAccount* source = nullptr;
  const Row* row = nullptr;
  const AccountField* field = nullptr;
};
Said said_of(const SourceRow& row, const SourcePlace& field,
             const CompileAccountData& account) {
  Said s;
  if (!row.keyword.known()) return s;
  s.source = &account.of(row.keyword.source);
  s.row = s.source->row_at(row.begin);
  if (s.row != nullptr && field.known()) {
    s.field = s.source->field_at(*s.row, field.line, field.column);
  }
  return s;
}

// The 1-based column just after the field that begins at `p`, as the
// account or the author's rows have it.
std::int64_t end_column_of(const SourcePlace& p, const Said& said,
                           const FaultContext& context) {
  if (said.field != nullptr && said.field->span.line == p.line &&
      said.field->span.column == p.column) {
    const std::string_view bytes = said.source->bytes_of(said.field->span);
    const std::size_t width = std::min(bytes.size(), bytes.find_first_of("\r\n"));
    return p.column + std::max<std::int64_t>(1, static_cast<std::int64_t>(width));
  }
  if (said.row != nullptr && said.row->keyword_span.line == p.line &&
      said.row->keyword_span.column == p.column) {
    const std::string_view bytes =
        said.source->bytes_of(said.row->keyword_span);
    const std::size_t width = std::min(bytes.size(), bytes.find_first_of("\r\n"));
    return p.column + std::max<std::int64_t>(1, static_cast<std::int64_t>(width));
  }
  const SourceRows& rows = context.rows_of(p.source);
  if (const AuthorRow* r = rows.row(p.line)) {
    if (const RowField* f = rows.field_at(*r, p.column)) {
      return std::max(f->end_column(), f->column + 1);
    }
  }
  return p.column + 1;
}

DiagnosticNote note_at(const SourcePlace& p, const Said& said,
                       const FaultContext& context, std::string message) {
  DiagnosticNote n;
  n.message = std::move(message);
  n.source = p.source;
  n.line = p.line;
  n.column = p.column;
  n.end_column = end_column_of(p, said, context);
  return n;
}

// The fields of a fault's row that read as 0 from text that is not a
// number, where the fault's value comes from: its own field, and the row's
// position and extent.
std::vector<const AccountField*> read_as_zero(const FaultRecord& f,
                                              const Said& said) {
  std::vector<const AccountField*> out;
  if (said.row == nullptr) return out;
  for (const AccountField& x : said.source->fields_of(*said.row)) {
    if (x.type == FieldType::kText ||
        x.reading != NumberToken::Kind::kNotNumber) {
      continue;
    }
    const FieldRole role = said.row->keyword->fields[x.index].role;
    const bool own = x.span.line == f.field.line &&
                     x.span.column == f.field.column;
    if (own || role == FieldRole::kPosition || role == FieldRole::kDistance ||
        role == FieldRole::kEnd) {
      out.push_back(&x);
    }
  }
  return out;
}

// Fills `{name}` in a template.
class Filler {
 public:
  void set(std::string_view name, std::string value) {
    values_.emplace_back(name, std::move(value));
  }
  std::string fill(std::string_view text) const {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
      const std::size_t open = text.find('{', i);
      if (open == std::string_view::npos) {
        out += text.substr(i);
        break;
      }
      const std::size_t close = text.find('}', open);
      out += text.substr(i, open - i);
      const std::string_view name = text.substr(open + 1, close - open - 1);
      const auto v = std::find_if(values_.begin(), values_.end(),
                                  [&](const auto& p) { return p.first == name; });
      out += v != values_.end() ? v->second : std::string("?");
      i = close + 1;
    }
    return out;
  }

 private:
  std::vector<std::pair<std::string_view, std::string>> values_;
};

// The values a fault's template may name.
Filler values_of(const FaultRecord& f, const Model& model, const Said& said,
                 SourceKind source) {
  Filler v;
  const FaultCauseDetail& c = f.cause;
  v.set("value", c.value ? num(*c.value) : "?");
  v.set("lowest", num(c.lowest));
  v.set("highest", num(c.highest));
  v.set("gap", c.value ? num(*c.value - c.lowest) : "?");
  v.set("position", f.position ? num(*f.position) : "?");
  v.set("cell", f.cell ? num(*f.cell) : "?");
  v.set("standing", std::string(kind_on_cell(c.value.value_or(0))));
  std::string placed;
  if (f.placed && f.placed->field.known()) {
    placed = " placed by " + line_word(f.placed->field, source);
  }
  v.set("placed", placed);
  v.set("row", std::string(said.row != nullptr ? said.row->keyword->row
                                               : row_of_fault(f.code)));
  v.set("field",
        said.field != nullptr
            ? std::string(SourceAccount::field_name(*said.row,
                                                    said.field->index))
            : std::string("field"));
  std::string text = c.value ? num(*c.value) : "?";
  if (said.field != nullptr) {
    text = shown(said.source->text_of(said.field->span));
  }
  v.set("text", text);
  v.set("keyword", said.row != nullptr
                       ? shown(said.source->text_of(said.row->keyword_span))
                       : std::string());
  v.set("type", std::string(type_words(c.lowest, c.highest)));
  v.set("length", num(model.scenario_slots[kConsistSlot].num2));
  v.set("source", source == SourceKind::kTrain ? "train" : "line");
  return v;
}

// Notes at the rows a fault meets or names.
void related_notes(AuthorDiagnostic& d, const FaultRecord& f,
                   const FaultContext& context) {
  if (f.placed && f.placed->field.known()) {
    const Said placed =
        said_of(f.placed->row, f.placed->field, context.account);
    std::string message;
    if (f.cause.cause == FaultCause::kCellTaken) {
      message = std::string(kind_on_cell(f.cause.value.value_or(0))) +
                " placed here takes cell " + (f.cell ? num(*f.cell) : "?");
    } else if (f.code == fault::kStationsTooClose) {
      message = "the previous station, whose extent ends at " +
                num(f.cause.lowest) + " m";
    } else {
      message = "the row that placed what stands on cell " +
                (f.cell ? num(*f.cell) : "?");
    }
    d.notes.push_back(note_at(f.placed->field, placed, context, message));
  }
}

// Notes of the faults that end a compile before its rows: where the header
// or the length row the compiler looked for stands as something else.
void missing_part_notes(AuthorDiagnostic& d, const FaultRecord& f,
                        const FaultContext& context) {
  const SourceAccount& line = context.account.line;
  const auto keyword_note = [&](const SourceAccount::KeywordField& k,
                                std::string message) {
    DiagnosticNote n;
    n.message = std::move(message);
    n.source = SourceKind::kLine;
    n.line = k.span.line;
    n.column = k.span.column;
    const std::string_view bytes = line.bytes_of(k.span);
    n.end_column =
        k.span.column +
        std::max<std::int64_t>(1, static_cast<std::int64_t>(std::min(
                                      bytes.size(), bytes.find_first_of("\r\n"))));
    d.notes.push_back(std::move(n));
  };
  if (f.code == fault::kNoGeneralSection) {
    // A header typed wrong is the likely cause.
    for (const SourceAccount::KeywordField& k : line.keywords) {
      const std::string_view text = line.text_of(k.span);
      std::string_view t = text;
      while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
      if (!t.starts_with("[") || !is_section_header(t)) continue;
      if (cost_to_contain(lowered(t), kGeneralHeader) <= 3 * kEditCost) {
        keyword_note(k, "this header is not [generale]");
        break;
      }
    }
  }
  if (f.code == fault::kGeneralFailure &&
      f.cause.cause == FaultCause::kNoTrackCells) {
    // A length row the author wrote where the compiler does not read it.
    for (const SourceAccount::KeywordField& k : line.keywords) {
      if (k.part == SourcePart::kGeneral) continue;
      const bool length =
          std::any_of(std::begin(kLineGeneralKeywords),
                      std::end(kLineGeneralKeywords), [&](const Keyword& kw) {
                        return kw.type == RowType::kLength &&
                               kw.matches(line.text_of(k.span));
                      });
      if (!length) continue;
      keyword_note(k, k.part == SourcePart::kBody
                          ? "a length row stands here, in the body, where the "
                            "compiler does not look for it"
                          : "a length row stands here, before [generale], "
                            "where the compiler ignores it");
      break;
    }
  }
}

// Where the row the compiler read began, when that is not the row the
// author wrote on the fault's line: a field in the middle of a line (an
// ignored row's name that holds a keyword), or a line above. Read from the
// author's lines: it is about how they are laid out.
void row_began_notes(AuthorDiagnostic& d, const FaultRecord& f,
                     const Said& said, const FaultContext& context) {
  if (!f.row.keyword.known() || !f.field.known()) return;
  const SourceRows& rows = context.rows_of(f.row.keyword.source);
  const AuthorRow* began = rows.row(f.row.keyword.line);
  const std::string row(said.row != nullptr ? said.row->keyword->row
                                            : row_of_fault(f.code));
  const Said keyword_said{said.source, said.row, nullptr};
  if (f.code == fault::kGeneralFailure &&
      f.cause.cause == FaultCause::kEndInsideRow) {
    if (f.row.keyword != f.field) {
      d.notes.push_back(note_at(f.row.keyword, keyword_said, context,
                                "the " + row + " row that the source ends "
                                               "inside"));
    }
    return;
  }
  if (began != nullptr && !began->fields.empty() &&
      began->fields.front().column != f.row.keyword.column) {
    const std::string keyword =
        said.row != nullptr
            ? shown(said.source->text_of(said.row->keyword_span))
            : std::string("it");
    d.notes.push_back(note_at(
        f.row.keyword, keyword_said, context,
        "the compiler began a row here: `" + keyword +
            "` holds a keyword, and the fields after it, up to this fault, "
            "were read as that row's"));
  } else if (f.row.keyword.line != f.field.line) {
    d.notes.push_back(note_at(f.row.keyword, keyword_said, context,
                              "the " + row +
                                  " row that this field was read into begins "
                                  "here"));
  }
}

// Faults of a number that must be a multiple of a step (the stations and
// progressives stand on 50 m cells, a station's length counts whole 100 m):
// the fix writes the nearest multiple.
struct StepAsked {
  std::int32_t code;
  std::int64_t step;
};
constexpr StepAsked kStepsAsked[] = {
    {fault::kProgressiveStep, 50}, {fault::kRepetitionStart, 50},
    {fault::kRepetitionEnd, 50},   {fault::kStationPosition, 50},
    {fault::kStationLength, 100}};

std::optional<DiagnosticFix> step_fix(const FaultRecord& f, const Said& said,
                                      const AuthorDiagnostic& d) {
  const auto asked =
      std::find_if(std::begin(kStepsAsked), std::end(kStepsAsked),
                   [&](const StepAsked& a) { return a.code == f.code; });
  if (asked == std::end(kStepsAsked) || said.field == nullptr ||
      said.field->reading != NumberToken::Kind::kNumber || d.line == 0) {
    return std::nullopt;
  }
  const std::int64_t v = said.field->value;
  const std::int64_t rest = v % asked->step;
  std::int64_t nearest = v - rest;
  if (2 * (rest < 0 ? -rest : rest) >= asked->step) {
    nearest += rest < 0 ? -asked->step : asked->step;
  }
  return DiagnosticFix{"Write " + num(nearest), d.line, d.column,
                       d.end_column, num(nearest)};
}

}  // namespace

AuthorDiagnostic fault_diagnostic(const FaultRecord& f, const Model& model,
                                  const FaultContext& context) {
  AuthorDiagnostic d;
  d.severity = Severity::kError;
  d.check = fault_check_name(f.code);
  d.code = f.code;
  d.position = f.position;
  d.cell = f.cell;
  const FaultInfo* info = find_fault(f.code);
  d.source = info != nullptr && info->source != SourceKind::kNone
                 ? info->source
                 : SourceKind::kLine;
  const Said said = said_of(f.row, f.field, context.account);
  if (f.field.known() && f.field.line > 0) {
    d.source = f.field.source;
    d.line = f.field.line;
    d.column = f.field.column;
    d.end_column = end_column_of(f.field, said, context);
  }
  const MessageRow* m = message_of(f.code, f.cause.cause);
  // A template that names a row needs one.
  if (m != nullptr && said.row == nullptr &&
      (f.code == fault::kStampTaken || f.code == fault::kCodeTaken) &&
      !f.row.keyword.known()) {
    m = nullptr;
  }
  d.message = m != nullptr ? values_of(f, model, said, d.source).fill(m->text)
              : info != nullptr ? std::string(info->message)
                                : "fault " + num(f.code);
  // The field the fault's value came from read as 0 from text.
  for (const AccountField* x : read_as_zero(f, said)) {
    d.message += "; its " +
                 std::string(SourceAccount::field_name(*said.row, x->index)) +
                 " was read as 0 from `" +
                 shown(said.source->bytes_of(x->span)) + "`";
  }
  related_notes(d, f, context);
  missing_part_notes(d, f, context);
  row_began_notes(d, f, said, context);
  d.fix = step_fix(f, said, d);
  return d;
}

std::optional<FaultRootKey> root_of(const FaultRecord& f) {
  const MessageRow* m = message_of(f.code, f.cause.cause);
  if (m == nullptr) return std::nullopt;
  const FaultCauseDetail& c = f.cause;
  const SourceKind source = f.field.source;
  switch (m->root) {
    case FaultRoot::kEachRow:
      return std::nullopt;
    case FaultRoot::kSameCause:
      return FaultRootKey{f.code, source, c.cause, c.value.value_or(0),
                          c.lowest, c.highest, 0};
    case FaultRoot::kSameSource:
      return FaultRootKey{f.code, source, c.cause, 0, 0, 0, 0};
    case FaultRoot::kSameRelatedRow:
      if (!f.placed || !f.placed->row.keyword.known()) return std::nullopt;
      return FaultRootKey{f.code, source, FaultCause::kNone, 0, 0, 0,
                          f.placed->row.begin};
  }
  return std::nullopt;
}

std::vector<SourcePlace> places_told(const FaultRecord& f,
                                     const FaultContext& context) {
  std::vector<SourcePlace> out;
  // A fault at a row's keyword field speaks of the row, not of what its
  // keyword's warnings say.
  if (f.field.known() && f.field != f.row.keyword) out.push_back(f.field);
  const Said said = said_of(f.row, f.field, context.account);
  for (const AccountField* x : read_as_zero(f, said)) {
    out.push_back(SourcePlace{f.row.keyword.source, x->span.line,
                              x->span.column});
  }
  return out;
}

}  // namespace scenc::tools
