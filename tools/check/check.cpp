#include "tools/check/check.h"

#include <algorithm>
#include <limits>
#include <tuple>
#include <utility>

#include "compiler/field_reader.h"
#include "compiler/source_store.h"
#include "scenario/build_run.h"
#include "tools/check/lint.h"

namespace scenc::tools {
namespace {

std::string num(std::int64_t v) { return std::to_string(v); }


// ---- Places -----------------------------------------------------------------

// Both sources as the author wrote them, row by row.
struct Texts {
  SourceRows line;
  SourceRows train;

  const SourceRows& of(SourceKind s) const {
    return s == SourceKind::kTrain ? train : line;
  }
  const AuthorRow* row(const SourcePlace& p) const {
    return p.known() ? of(p.source).row(p.line) : nullptr;
  }
  const RowField* field(const SourcePlace& p) const {
    const AuthorRow* r = row(p);
    return r != nullptr ? of(p.source).field_at(*r, p.column) : nullptr;
  }
  // The number an author wrote at `p`, as the compiler reads it.
  std::optional<std::int64_t> number_at(const SourcePlace& p) const {
    const RowField* f = field(p);
    if (f == nullptr) return std::nullopt;
    const NumberToken t = parse_number_token(f->text);
    if (t.kind == NumberToken::Kind::kTooLarge) return std::nullopt;
    return t.value;
  }
  std::string_view text_at(const SourcePlace& p) const {
    const RowField* f = field(p);
    return f != nullptr ? f->text : std::string_view{};
  }
  // What the row at `p` is, in an author's words ("station"), or "row".
  std::string_view row_name(const SourcePlace& p) const {
    const AuthorRow* r = row(p);
    if (r != nullptr && !r->keywords.empty()) return r->keywords.front()->row;
    return "row";
  }
  // The lines recovery has blanked so far: the compile that raised a later
  // fault did not see them.
  std::set<std::pair<SourceKind, std::int64_t>> left_out;
  bool was_left_out(SourceKind source, std::int64_t line) const {
    return left_out.count({source, line}) != 0;
  }
};

std::string line_word(const SourcePlace& p, SourceKind from) {
  std::string s = "line " + num(p.line);
  if (p.source != from) {
    s += p.source == SourceKind::kTrain ? " of the train source"
                                        : " of the line source";
  }
  return s;
}

void point_at(AuthorDiagnostic& d, const Texts& texts, const SourcePlace& p) {
  d.source = p.source;
  d.line = p.line;
  d.column = p.column;
  const RowField* f = texts.field(p);
  d.end_column = f != nullptr && f->end_column() > f->column ? f->end_column()
                                                             : p.column + 1;
}

DiagnosticNote note_at(const Texts& texts, const SourcePlace& p,
                       std::string message) {
  DiagnosticNote n;
  n.message = std::move(message);
  n.source = p.source;
  n.line = p.line;
  n.column = p.column;
  const RowField* f = texts.field(p);
  n.end_column = f != nullptr && f->end_column() > f->column ? f->end_column()
                                                             : p.column + 1;
  return n;
}

// ---- Fault messages ---------------------------------------------------------

std::string_view kind_on_cell(std::uint8_t kind) {
  switch (kind) {
    case cell_kind::kSignal:
      return "a signal";
    case cell_kind::kSlowOrderEnd:
      return "the end of a slow order";
    case cell_kind::kSlowOrderStart:
      return "the start of a slow order";
    case cell_kind::kSlowOrderWarning:
      return "the warning of a slow order";
    case cell_kind::kSlowOrderApproach:
      return "an approach cell of a slow order";
    case cell_kind::kSpeedBoard:
      return "a speed-indicator board";
    case cell_kind::kStationMarker:
      return "the marker of a station";
    case cell_kind::kAbbattimento:
    case cell_kind::kAbbattimentoZero:
      return "an abbattimento mark";
    case cell_kind::kSignboard:
      return "a signboard";
    default:
      return "a mark";
  }
}

std::string_view type_words(std::int64_t lowest, std::int64_t highest) {
  if (lowest == 0 && highest == 255) return "a byte";
  if (lowest == -32768 && highest == 32767) return "a 16-bit field";
  if (lowest == -2147483648LL && highest == 2147483647LL) {
    return "a 32-bit field";
  }
  return "its field";
}

std::string nearest_multiples(std::int64_t v, std::int64_t step) {
  const std::int64_t below =
      v >= 0 ? v / step * step : -((-v + step - 1) / step * step);
  return num(below) + " or " + num(below + step) + " m";
}

// The slot of the station whose row raised a fault: the last slot the
// stations have filled (they fill slots 1 upward); 0 when none.
int failing_station(const Model& model) {
  // Signboard texts fill the slots from 80 downward; the stations lie below
  // the lowest of them.
  int lowest_signboard = kFirstSignboardSlot + 1;
  for (const TrackCell& c : model.track_cells) {
    if (c.kind == cell_kind::kSignboard) {
      lowest_signboard = std::min<int>(lowest_signboard, c.value1);
    }
  }
  for (int s = lowest_signboard - 1; s >= 1; --s) {
    const ScenarioSlot& slot =
        model.scenario_slots[static_cast<std::size_t>(s)];
    if (slot.num1 != 0 || slot.num2 != 0 || slot.num3 != 0 ||
        !slot.name.empty()) {
      return s;
    }
  }
  return 0;
}

// The metres along the line a row places its object at, as the author
// wrote them: the number in its position field, when that is a number.
std::optional<std::int32_t> position_of_row(const Texts& texts,
                                            SourceKind source,
                                            std::int64_t line) {
  const AuthorRow* r = texts.of(source).row(line);
  if (r == nullptr || r->kind != RowKind::kRow) return std::nullopt;
  for (const RowField& f : texts.of(source).fields_of(*r)) {
    if (f.field == nullptr || f.field->role != FieldRole::kPosition) continue;
    const NumberToken t = parse_number_token(f.text);
    if (t.kind != NumberToken::Kind::kNumber ||
        t.value < std::numeric_limits<std::int32_t>::min() ||
        t.value > std::numeric_limits<std::int32_t>::max()) {
      return std::nullopt;
    }
    return static_cast<std::int32_t>(t.value);
  }
  return std::nullopt;
}

// The keyword field of the last row before `place` in its source that is a
// `row` ("station"), as the author wrote the rows.
std::optional<SourcePlace> previous_row_of(const Texts& texts,
                                           const SourcePlace& place,
                                           std::string_view row) {
  if (!place.known()) return std::nullopt;
  const SourceRows& rows = texts.of(place.source);
  for (std::int64_t l = place.line - 1; l >= 1; --l) {
    const AuthorRow* r = rows.row(l);
    if (r != nullptr && r->kind == RowKind::kRow &&
        r->keywords.front()->row == row && !texts.was_left_out(place.source, l)) {
      return SourcePlace{place.source, l, r->fields.front().column};
    }
  }
  return std::nullopt;
}

std::string general_failure_message(const FaultRecord& f, const Texts& texts) {
  const FaultCauseDetail& c = f.cause;
  const std::string_view row = texts.row_name(f.row.keyword);
  switch (c.cause) {
    case FaultCause::kNumberTooLarge: {
      const std::string_view written = texts.text_at(f.field);
      return "the number " +
             (written.empty() ? (c.value ? num(*c.value) : std::string("here"))
                              : std::string(written)) +
             " does not fit " + std::string(type_words(c.lowest, c.highest)) +
             ", which holds " + num(c.lowest) + " to " + num(c.highest);
    }
    case FaultCause::kValueTooLarge: {
      if (row == "speed limit" && c.value && c.highest == 255) {
        const auto speed = texts.number_at(f.field);
        return "round(" + (speed ? num(*speed) : std::string("speed")) +
               " / 5) = " + num(*c.value) +
               " does not fit a byte: the greatest speed limit is 1277 km/h";
      }
      return "a value computed from this " + std::string(row) + " row, " +
             (c.value ? num(*c.value) : std::string("?")) + ", does not fit " +
             std::string(type_words(c.lowest, c.highest)) + " (" +
             num(c.lowest) + " to " + num(c.highest) + ")";
    }
    case FaultCause::kEndInsideRow:
      return "the source ends inside this " + std::string(row) +
             " row, before all of its fields";
    case FaultCause::kReadPastEnd:
      return "the source ends where a field was expected";
    case FaultCause::kNoTrackCells:
      return "no track cells: the line source's general section (between "
             "[generale] and its first section header) has no length row "
             "(lunghezza percorso)";
    case FaultCause::kCellOutsideGrid:
      return "cell " + (c.value ? num(*c.value) : std::string("?")) +
             " lies outside the track cells (0 to " + num(c.highest) + ")";
    case FaultCause::kNoSignboardSlot:
      return "this signboard has no slot for its text: signboard texts take "
             "slots 80 down to 0, at most 81 of them";
    case FaultCause::kTextTooLong:
      return "a text of " + (c.value ? num(*c.value) : std::string("?")) +
             " bytes is longer than a name holds (" + num(c.highest) + ")";
    case FaultCause::kSourceUnreadable:
      return "the source cannot be read";
    case FaultCause::kSourceNotRemoved:
      return "the source cannot be let go after its compile";
    default:
      return std::string(find_fault(fault::kGeneralFailure)->message);
  }
}

// The message and notes of one fault, in an author's words.
void describe_fault(AuthorDiagnostic& d, const FaultRecord& f,
                    const Model& model, const Texts& texts) {
  const FaultInfo* info = find_fault(f.code);
  const std::string_view table = info != nullptr ? info->message : "fault";
  const auto value = [&] { return texts.number_at(f.field); };
  const std::string at_position =
      f.position ? " (at " + num(*f.position) + " m)" : std::string{};
  const SourceKind here = f.field.known() ? f.field.source : d.source;

  // What stands on the taken cell of a fault, and a note at its row.
  const auto taken_cell = [&](std::string_view what) {
    std::string m(what);
    if (f.cell) {
      m += " on cell " + num(*f.cell);
      if (f.position) m += " (" + num(*f.position) + " m)";
      std::string_view standing = "something";
      if (*f.cell >= 0 && *f.cell <= model.last_cell() &&
          model.has_track_cells()) {
        standing = kind_on_cell(
            model.track_cells[static_cast<std::size_t>(*f.cell)].kind);
      }
      if (f.placed && f.placed->field.known()) {
        const SourcePlace& p = f.placed->field;
        m += ", where " + std::string(standing) + " placed by " +
             line_word(p, here) + " already stands";
        d.notes.push_back(note_at(
            texts, p,
            std::string(standing) + " placed here takes cell " + num(*f.cell)));
      } else {
        m += ", where " + std::string(standing) + " already stands";
      }
    } else {
      m += at_position;
    }
    return m;
  };

  switch (f.code) {
    case fault::kLineLength: {
      const auto v = value();
      d.message = v && *v < 0 ? "the line length " + num(*v) + " m is negative"
                  : v         ? "the line is " + num(*v) +
                            " m long; the longest line is 1000000 m"
                      : std::string(table);
      break;
    }
    case fault::kProgressiveStep: {
      const auto v = value();
      d.message = "kilometric progressive " + (v ? num(*v) + " m " : "") +
                  "is not a multiple of 50 m";
      break;
    }
    case fault::kRepetitionStart:
    case fault::kRepetitionEnd: {
      const auto v = value();
      d.message = std::string("signal repetition ") +
                  (f.code == fault::kRepetitionStart ? "starts" : "ends") +
                  (v ? " at " + num(*v) + " m" : "") +
                  ", not on a multiple of 50 m" +
                  (v ? " (" + nearest_multiples(*v, 50) + ")" : "");
      break;
    }
    case fault::kRepetitionCodes:
      d.message = "the signal repetition keyword `" +
                  std::string(texts.text_at(f.field)) +
                  "` holds neither 4 nor 9, the number of codes";
      break;
    case fault::kSignboardCellTaken:
      d.message = taken_cell("signboard");
      break;
    case fault::kAbbattimentoCellTaken:
      d.message = taken_cell("abbattimento mark");
      break;
    case fault::kStationPosition: {
      const auto v = value();
      d.message = "station position " + (v ? num(*v) + " m " : "") +
                  "is not a multiple of 50 m" +
                  (v ? " (" + nearest_multiples(*v, 50) + ")" : "");
      break;
    }
    case fault::kStationLength: {
      const auto v = value();
      d.message = "station length " + (v ? num(*v) + " m " : "") +
                  "is not a multiple of 100 m" +
                  (v ? " (" + nearest_multiples(*v, 100) + ")" : "");
      break;
    }
    case fault::kTooManyStations: {
      int signboards = 0;
      for (const TrackCell& c : model.track_cells) {
        signboards += c.kind == cell_kind::kSignboard ? 1 : 0;
      }
      d.message = "one station too many: with " + num(signboards) +
                  " signboard text" + (signboards == 1 ? "" : "s") +
                  " at most " +
                  num(std::max(0, kFirstSignboardSlot - 2 - signboards)) +
                  " stations fit the slots (stations and signboards together "
                  "at most " +
                  num(kFirstSignboardSlot - 2) + ")";
      break;
    }
    case fault::kBeyondGrid: {
      const std::int64_t last = model.has_track_cells() ? model.last_cell() : 0;
      const std::int32_t length = model.scenario_slots[kConsistSlot].num2;
      const bool station = texts.row_name(f.row.keyword) == "station";
      const std::int64_t greatest = 50 * last - (station ? 800 : 100);
      const std::string p = f.position ? num(*f.position) + " m" : "position";
      if (f.cause.cause == FaultCause::kMarksOutsideGrid) {
        d.message = "the marks of this row at " + p +
                    " would fall outside the track cells (cells 0 to " +
                    num(last) + ")";
      } else {
        d.message = p + " lies beyond the track cells: the greatest " +
                    (station ? "station position" : "position") +
                    " accepted is " + num(greatest) + " m (the line's " +
                    num(length) + " m and " + num(kRunOut) + " m beyond)";
      }
      d.message += std::string("; the rest of the ") +
                   (here == SourceKind::kTrain ? "train" : "line") +
                   " source is skipped";
      break;
    }
    case fault::kSignalCellTaken:
      d.message = taken_cell("signal");
      break;
    case fault::kWarningCellTaken:
      d.message = taken_cell(
          "the warning of this slow order, 1200 m before its start,");
      break;
    case fault::kSlowOrderStartTaken:
      d.message = taken_cell("slow-order start");
      break;
    case fault::kSlowOrderEndTaken:
      d.message = taken_cell("slow-order end");
      break;
    case fault::kApproachCellsTaken:
      d.message = taken_cell(
          "the approach cells of this slow order (1250 to 1400 m before its "
          "start) are not all free: one");
      break;
    case fault::kBoardCellTaken:
      d.message = taken_cell("speed-indicator board");
      break;
    case fault::kStationsTooClose:
    case fault::kStationTooEarly: {
      const int n = failing_station(model);
      if (n == 0) {
        d.message = std::string(table) + at_position;
        break;
      }
      const ScenarioSlot& st =
          model.scenario_slots[static_cast<std::size_t>(n)];
      if (f.code == fault::kStationTooEarly) {
        d.message = "the station's extent ends at " + num(st.num2) +
                    " m, 100 m or less from the start of the line: its "
                    "marker would fall in cell 1 or below";
        break;
      }
      const ScenarioSlot& before =
          model.scenario_slots[static_cast<std::size_t>(n - 1)];
      d.message = "the station's extent starts at " + num(st.num1) + " m, " +
                  (st.num1 < before.num2
                       ? "before the previous station's extent ends at " +
                             num(before.num2) + " m"
                       : "only " + num(st.num1 - before.num2) +
                             " m after the previous station's extent ends "
                             "at " +
                             num(before.num2) + " m") +
                  "; stations need 350 m between them";
      if (const auto prev = previous_row_of(texts, f.row.keyword, "station")) {
        d.notes.push_back(
            note_at(texts, *prev,
                    "the previous station, whose extent ends at " +
                        num(before.num2) + " m"));
      }
      break;
    }
    case fault::kGeneralFailure:
      d.message = general_failure_message(f, texts);
      break;
    case fault::kBadCurve:
      if (f.cause.cause == FaultCause::kCurveWithoutClass) {
        d.message = "the curve keyword `" +
                    std::string(texts.text_at(f.field)) +
                    "` holds no class digit 1 to 6";
      } else if (f.cause.cause == FaultCause::kProfileTooLong &&
                 f.cause.value) {
        d.message = "this curve carries the line's profile to " +
                    num(*f.cause.value) + " m, past " + num(kLongestLine) +
                    " m";
      } else {
        d.message = std::string(table);
      }
      break;
    default:
      d.message = std::string(table) + at_position;
      break;
  }
}

// One fault as a diagnostic.
AuthorDiagnostic fault_diagnostic(const FaultRecord& f, const Model& model,
                                  const Texts& texts) {
  AuthorDiagnostic d;
  d.severity = Severity::kError;
  d.check = fault_check_name(f.code);
  d.code = f.code;
  d.position = f.position;
  const FaultInfo* info = find_fault(f.code);
  d.source = info != nullptr ? info->source : SourceKind::kLine;
  if (f.field.known() && f.field.line > 0) point_at(d, texts, f.field);
  describe_fault(d, f, model, texts);
  if (f.code == fault::kNoGeneralSection) {
    // A header typed wrong is the likely cause.
    for (const AuthorRow& r : texts.line.rows) {
      if (r.kind == RowKind::kHeader &&
          edits_to_contain(lowered(r.fields.front().text), kGeneralHeader) <=
              3) {
        d.notes.push_back(note_at(
            texts,
            SourcePlace{SourceKind::kLine, r.line, r.fields.front().column},
            "this header is not [generale]"));
        break;
      }
    }
  }
  if (f.code == fault::kGeneralFailure &&
      f.cause.cause == FaultCause::kNoTrackCells) {
    // A length row the author wrote where the compiler does not read it.
    for (const AuthorRow& r : texts.line.rows) {
      if (r.part != SourcePart::kGeneral &&
          std::any_of(std::begin(kLineGeneralKeywords),
                      std::end(kLineGeneralKeywords),
                      [&](const Keyword& k) {
                        return k.compile == length_row &&
                               k.matches(r.fields.front().text);
                      }) &&
          texts.line.fields_of(r).size() > 1) {
        d.notes.push_back(note_at(
            texts,
            SourcePlace{SourceKind::kLine, r.line, r.fields.front().column},
            r.part == SourcePart::kBody
                ? "a length row stands here, in the body, where the compiler "
                  "does not look for it"
                : "a length row stands here, before [generale], where the "
                  "compiler ignores it"));
        break;
      }
    }
  }
  if (f.row.keyword.known() && f.field.known() &&
      !(f.code == fault::kGeneralFailure &&
        f.cause.cause == FaultCause::kEndInsideRow)) {
    // The row the compiler read is not the row the author wrote on the
    // fault's line: it began at a field in the middle of a line (an ignored
    // row's name that holds a keyword), or on a line above.
    const AuthorRow* began = texts.row(f.row.keyword);
    const RowField* keyword = texts.field(f.row.keyword);
    if (began != nullptr && keyword != nullptr &&
        keyword->column != began->fields.front().column) {
      d.notes.push_back(note_at(
          texts, f.row.keyword,
          "the compiler began a row here: `" + shown(keyword->text) +
              "` holds a keyword, and the fields after it, up to this fault, "
              "were read as that row's"));
    } else if (f.row.keyword.line != f.field.line) {
      d.notes.push_back(note_at(
          texts, f.row.keyword,
          "the " + std::string(texts.row_name(f.row.keyword)) +
              " row that this field was read into begins here"));
    }
  }
  if (f.code == fault::kGeneralFailure &&
      f.cause.cause == FaultCause::kEndInsideRow && f.row.keyword.known() &&
      f.row.keyword != f.field) {
    d.notes.push_back(note_at(texts, f.row.keyword,
                              "the " +
                                  std::string(texts.row_name(f.row.keyword)) +
                                  " row that the source ends inside"));
  }
  return d;
}

// A fault's place, to tell a fault found again after recovery from a new one.
using FaultKey =
    std::tuple<std::int32_t, SourceKind, std::int64_t, std::int64_t>;
FaultKey key_of(const FaultRecord& f) {
  return {f.code, f.field.source, f.field.line, f.field.column};
}

bool ends_a_stage(const FaultRecord& f) {
  return f.ending == FaultEnding::kEndsCompile ||
         f.ending == FaultEnding::kSkipsRestOfSource;
}

// Whether compiling again with the fault's row blanked can show what lies
// behind it. Not past a missing line source, one without "[generale]" or a
// line too long for a grid (there is nothing to compile without them), nor
// past a source that ends inside a row; nor past a fault that every later
// row of its kind would raise again (too many stations, a signboard beyond
// the slots, rows before the grid exists).
bool recoverable(const FaultRecord& f) {
  switch (f.code) {
    case fault::kNoLineSource:
    case fault::kNoGeneralSection:
    case fault::kLineLength:
    case fault::kTooManyStations:
      return false;
    case fault::kGeneralFailure:
      switch (f.cause.cause) {
        case FaultCause::kNumberTooLarge:
        case FaultCause::kValueTooLarge:
        case FaultCause::kTextTooLong:
        case FaultCause::kCellOutsideGrid:
          break;
        default:
          return false;
      }
      break;
    default:
      break;
  }
  return f.row.keyword.known() && f.row.end > f.row.begin;
}

// Blanks a row's bytes through the end of the line it stops on, keeping
// the line ends so that every line keeps its number. The rest of that line
// goes too: it belongs to the row the author wrote there, and a field of it
// left standing (a station named "STAZIONE 02") would begin a row of its own
// and raise the same fault on every line that follows.
// Returns the number of the last line blanked, counting from `first_line`,
// the line the row begins on.
std::int64_t blank(std::string& text, const SourceRow& row,
                   std::int64_t first_line) {
  std::size_t end = std::min(row.end, text.size());
  while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
  std::int64_t line = first_line;
  for (std::size_t i = row.begin; i < end; ++i) {
    const bool crlf = text[i] == '\r' && i + 1 < end && text[i + 1] == '\n';
    if ((text[i] == '\r' && !crlf) || text[i] == '\n') ++line;
    if (text[i] != '\r' && text[i] != '\n') text[i] = ' ';
  }
  return line;
}

// A fault found after recovery that a row of an ascending list raises
// against the same earlier row as a fault before it (a station placed far
// ahead, which every later station now meets) is told as a note of that
// one: one mistake, one error. Two rows placed on one taken cell stay two
// errors, one for each row to move.
bool fold_into_earlier(std::vector<AuthorDiagnostic>& errors,
                       const AuthorDiagnostic& d) {
  if (d.code != fault::kStationsTooClose || d.notes.empty() || d.line == 0) {
    return false;
  }
  const DiagnosticNote& related = d.notes.front();
  for (AuthorDiagnostic& e : errors) {
    if (e.code != d.code || e.notes.empty()) continue;
    const DiagnosticNote& n = e.notes.front();
    if (n.source != related.source || n.line != related.line) continue;
    DiagnosticNote again;
    again.message = "the same fault again, against the same row: " + d.message;
    again.source = d.source;
    again.line = d.line;
    again.column = d.column;
    again.end_column = d.end_column;
    e.notes.push_back(std::move(again));
    return true;
  }
  return false;
}

struct Compiled {
  Model model;
  BuildOutcome outcome;
};

void compile(Compiled& c, std::string_view line, std::string_view train,
             std::string_view line_name, std::string_view train_number,
             std::int32_t j, CompileObserver* observer) {
  c.model.line_name = line_name;
  c.model.train_number = train_number;
  MemorySources sources{std::string(line), std::string(train)};
  c.outcome = compile_scenario(c.model, j, sources, observer);
}

int severity_rank(Severity s) {
  return s == Severity::kError ? 0 : s == Severity::kWarning ? 1 : 2;
}

}  // namespace

std::string severity_name(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return "error";
    case Severity::kWarning:
      return "warning";
    case Severity::kNote:
      return "note";
  }
  return "error";
}

std::string fault_check_name(std::int32_t code) {
  return "fault-" + std::to_string(code);
}

const WarningInfo* find_warning(std::string_view name) {
  for (const WarningInfo& w : kWarnings) {
    if (w.name == name) return &w;
  }
  return nullptr;
}

bool warning_enabled(const WarningInfo& w, const CheckOptions& options) {
  const std::string name(w.name);
  if (options.disabled.count(name) != 0) return false;
  return w.on_by_default || options.enabled.count(name) != 0;
}

int CheckResult::errors() const {
  return static_cast<int>(std::count_if(diagnostics.begin(), diagnostics.end(),
                                        [](const AuthorDiagnostic& d) {
                                          return d.severity == Severity::kError;
                                        }));
}

int CheckResult::warnings() const {
  return static_cast<int>(std::count_if(
      diagnostics.begin(), diagnostics.end(), [](const AuthorDiagnostic& d) {
        return d.severity == Severity::kWarning;
      }));
}

CheckResult check_sources(std::string_view line_text,
                          std::string_view train_text,
                          std::string_view line_name,
                          std::string_view train_number,
                          const CheckOptions& options) {
  CheckResult result;
  // A source too large to read row by row is known by its faults alone.
  // The fields after a row's keyword field are read for the few rows
  // whose fields a diagnostic looks at.
  const auto rows_of = [](std::string_view text, SourceKind source) {
    return read_source_rows(
        text.size() > kLargestCheckedSource ? std::string_view{} : text, source,
        KeptFields::kKeywordField);
  };
  Texts texts{rows_of(line_text, SourceKind::kLine),
              rows_of(train_text, SourceKind::kTrain), {}};
  const auto capped = [&](int errors) {
    return options.max_errors > 0 && errors >= options.max_errors;
  };

  // The sources as given: the model a build writes its files from.
  LintTrace trace(line_text.size(), train_text.size());
  trace.expect(texts.line, texts.train);
  {
    Compiled first;
    compile(first, line_text, train_text, line_name, train_number,
            options.write_line_file, &trace);
    result.model = std::move(first.model);
    result.error_exit = first.outcome.error_exit;
  }

  std::vector<AuthorDiagnostic> errors;
  std::set<FaultKey> seen;
  // The rows that raised a fault in any compile: the fault speaks for them.
  std::vector<SourcePlace> faulted_rows;
  for (const FaultRecord& f : result.model.fault_log) {
    faulted_rows.push_back(f.row.keyword);
    if (capped(static_cast<int>(errors.size()))) {
      result.truncated = true;
      break;
    }
    seen.insert(key_of(f));
    errors.push_back(fault_diagnostic(f, result.model, texts));
  }

  // Recovery: each fault that ended a stage hid the rows behind it. Blank
  // its row and compile again, until no stage ends early, a fault cannot be
  // recovered from, or the cap is reached.
  // The sources with the rows blanked so far, copied at the first.
  std::string line;
  std::string train;
  bool copied = false;
  std::set<FaultKey> blanked;
  const std::vector<FaultRecord>* log = &result.model.fault_log;
  Compiled again;
  while (options.recover && !result.truncated &&
         !options.stop.stop_requested()) {
    bool any = false;
    for (const FaultRecord& f : *log) {
      if (!ends_a_stage(f) || blanked.count(key_of(f)) != 0) continue;
      if (!recoverable(f)) continue;
      blanked.insert(key_of(f));
      if (!copied) {
        line.assign(line_text);
        train.assign(train_text);
        copied = true;
      }
      const SourceKind source = f.row.keyword.source;
      const std::int64_t last = blank(source == SourceKind::kTrain ? train : line,
                                      f.row, f.row.keyword.line);
      for (std::int64_t l = f.row.keyword.line; l <= last; ++l) {
        texts.left_out.insert({source, l});
      }
      any = true;
    }
    if (!any) break;
    // The lint reads each source as the latest compile that reached it
    // read it: the furthest, with the rows behind stage-ending faults. A
    // blanked row keeps its bytes' places, so the trace still points into
    // the source as given.
    LintTrace later(line_text.size(), train_text.size());
    later.expect(texts.line, texts.train);
    Compiled next;
    compile(next, line, train, line_name, train_number, options.write_line_file,
            &later);
    if (later.line.begun) trace.line = std::move(later.line);
    if (later.train.begun) trace.train = std::move(later.train);
    ++result.recovery_compiles;
    again = std::move(next);
    log = &again.model.fault_log;
    for (const FaultRecord& f : *log) {
      faulted_rows.push_back(f.row.keyword);
      if (!seen.insert(key_of(f)).second) continue;
      if (f.code == fault::kBeyondGrid && f.field.known()) {
        // A line too short puts every later row beyond the cells: a second
        // such fault in a source is told on the first, and not recovered
        // from.
        const auto first = std::find_if(
            errors.begin(), errors.end(), [&](const AuthorDiagnostic& d) {
              return d.code == fault::kBeyondGrid && d.source == f.field.source;
            });
        if (first != errors.end()) {
          blanked.insert(key_of(f));
          first->notes.push_back(note_at(
              texts, f.field,
              "this row lies beyond the track cells too, and the rows after "
              "it are not checked: is the line length right?"));
          continue;
        }
      }
      if (capped(static_cast<int>(errors.size()))) {
        result.truncated = true;
        break;
      }
      AuthorDiagnostic d = fault_diagnostic(f, again.model, texts);
      if (fold_into_earlier(errors, d)) continue;
      d.after_recovery = true;
      d.message += " (found after recovery)";
      errors.push_back(std::move(d));
    }
  }

  if ((!options.recover || options.stop.stop_requested()) &&
      !result.truncated) {
    result.recovery_left = std::any_of(
        log->begin(), log->end(),
        [](const FaultRecord& f) { return ends_a_stage(f) && recoverable(f); });
  }

  std::vector<AuthorDiagnostic> warnings = lint_sources(
      trace, texts.line, texts.train, result.model, faulted_rows, options);

  result.diagnostics = std::move(errors);
  for (AuthorDiagnostic& w : warnings) {
    // A warning stands where its row places something on the line.
    if (!w.position) w.position = position_of_row(texts, w.source, w.line);
    result.diagnostics.push_back(std::move(w));
  }
  // Source order: the line source, then the train source, each by line and
  // column; diagnostics without a place last.
  std::stable_sort(result.diagnostics.begin(), result.diagnostics.end(),
                   [](const AuthorDiagnostic& a, const AuthorDiagnostic& b) {
                     const auto rank = [](const AuthorDiagnostic& d) {
                       const int source = d.line == 0                      ? 3
                                          : d.source == SourceKind::kTrain ? 2
                                                                           : 1;
                       return std::make_tuple(source, d.line, d.column,
                                              severity_rank(d.severity));
                     };
                     return rank(a) < rank(b);
                   });
  return result;
}

}  // namespace scenc::tools
