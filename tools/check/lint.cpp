#include "tools/check/lint.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#include "compiler/field_reader.h"
#include "model/cp1252.h"

namespace scenc::tools {

// ---- The trace --------------------------------------------------------------

void LintTrace::expect(const SourceRows& line_rows,
                       const SourceRows& train_rows) {
  const auto room = [](TracedSource& t, const SourceRows& rows) {
    t.keywords.reserve(rows.rows.size() + 1);
    t.rows.reserve(rows.rows.size() + 1);
    t.fields.reserve(rows.most_fields + 1);
  };
  if (!skip_line) room(line, line_rows);
  if (!skip_train) room(train, train_rows);
}

void LintTrace::source_begins(SourceKind source, std::string_view bytes) {
  current_ = nullptr;
  bool& skip = source == SourceKind::kTrain ? skip_train : skip_line;
  // The spans of a larger source do not fit the trace.
  if (bytes.size() > kLargestCheckedSource) skip = true;
  if (skip) return;
  current_ = source == SourceKind::kTrain ? &train : &line;
  current_->restart();
  line_ = 0;
  on_line_ = 0;
  unkept_.reset();
  part_ = SourcePart::kPreamble;
}

void LintTrace::part_begins(SourcePart part) {
  part_ = part;
  if (current_ == nullptr) return;
  if (part == SourcePart::kGeneral) current_->reached_general = true;
  if (part == SourcePart::kBody) current_->reached_body = true;
}

void LintTrace::keyword_read(const ReadSpan& field, bool at_end) {
  if (current_ == nullptr) return;
  unkept_.reset();
  on_line_ = field.line == line_ ? on_line_ + 1 : 1;
  line_ = field.line;
  if (on_line_ > kMostFieldsOfALine) {
    unkept_ = TracedSource::Keyword{field, part_, at_end, false};
    return;
  }
  current_->keywords.push_back({field, part_, at_end, false});
}

void LintTrace::keyword_examined(std::span<const scenc::Keyword>) {
  if (unkept_) {
    unkept_->examined = true;
    return;
  }
  if (current_ == nullptr || current_->keywords.empty()) return;
  current_->keywords.back().examined = true;
}

void LintTrace::row_begins(const scenc::Keyword& keyword) {
  if (current_ == nullptr) return;
  if (unkept_) {
    current_->keywords.push_back(*unkept_);
    unkept_.reset();
  }
  TracedSource::Row row;
  row.keyword = &keyword;
  row.keyword_read = static_cast<std::uint32_t>(
      current_->keywords.empty() ? 0 : current_->keywords.size() - 1);
  row.first_field = static_cast<std::uint32_t>(current_->fields.size());
  current_->rows.push_back(row);
}

void LintTrace::field_read(std::size_t index, FieldType type,
                           const ReadSpan& field) {
  if (current_ == nullptr || current_->rows.empty()) return;
  current_->fields.push_back({field, type, static_cast<std::uint32_t>(index)});
  ++current_->rows.back().field_count;
}

void LintTrace::row_ends() {
  if (current_ == nullptr || current_->rows.empty()) return;
  current_->rows.back().returned = true;
}

int edits_to_contain(std::string_view text, std::string_view word) {
  const std::size_t n = word.size();
  const std::size_t m = text.size();
  if (n == 0) return 0;
  // d[i][j]: edits for word[0..i) to end at text[0..j); any start is free.
  std::vector<int> prev2(m + 1, 0), prev(m + 1, 0), cur(m + 1, 0);
  for (std::size_t j = 0; j <= m; ++j) prev[j] = 0;
  for (std::size_t i = 1; i <= n; ++i) {
    cur[0] = static_cast<int>(i);
    for (std::size_t j = 1; j <= m; ++j) {
      const int cost = word[i - 1] == text[j - 1] ? 0 : 1;
      int best = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + cost});
      if (i > 1 && j > 1 && word[i - 1] == text[j - 2] &&
          word[i - 2] == text[j - 1]) {
        best = std::min(best, prev2[j - 2] + 1);
      }
      cur[j] = best;
    }
    prev2 = prev;
    prev = cur;
  }
  return *std::min_element(prev.begin(), prev.end());
}

namespace {

std::string num(std::int64_t v) { return std::to_string(v); }

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}


std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  return s;
}

// The fastest speed an author plausibly means: above it a speed limit,
// board speed or slow order is taken for a typing slip (1150 for 115).
constexpr std::int64_t kFastestPlausibleSpeed = 400;

// ---- Spelling ---------------------------------------------------------------

// The keyword of an example row: what stands before its first comma.
std::string_view example_keyword(const scenc::Keyword& k) {
  const std::string_view e = k.example;
  return trimmed(e.substr(0, e.find(',')));
}

// How far a keyword field is from matching `k`: the edits its words need.
int distance_to(std::string_view field_lower, const scenc::Keyword& k) {
  int d = edits_to_contain(field_lower, lowered(k.word));
  if (!k.also.empty()) d += edits_to_contain(field_lower, lowered(k.also));
  return d;
}

int tolerance(const scenc::Keyword& k) {
  const std::size_t letters = k.word.size() + k.also.size();
  return static_cast<int>(std::max<std::size_t>(1, letters / 4));
}

struct TableOf {
  std::span<const scenc::Keyword> table;
  SourceKind source;
  SourcePart part;
};
constexpr std::array<TableOf, 3> kTables{{
    {kLineGeneralKeywords, SourceKind::kLine, SourcePart::kGeneral},
    {kLineBodyKeywords, SourceKind::kLine, SourcePart::kBody},
    {kTrainKeywords, SourceKind::kTrain, SourcePart::kBody},
}};

// Where a keyword belongs, in an author's words.
std::string home_of(SourceKind source, SourcePart part) {
  if (source == SourceKind::kTrain) return "the train source";
  return part == SourcePart::kGeneral
             ? "the line source's general section (between [generale] and "
               "the first section header)"
             : "the line source's body (after its first section header)";
}

// ---- Places -----------------------------------------------------------------

struct Place {
  std::int64_t line = 0;
  std::int64_t column = 0;
  std::int64_t end_column = 0;
};

Place place_of(const RowField& f, std::int64_t line) {
  return {line, f.column, std::max(f.end_column(), f.column + 1)};
}

// The place of a span the compile read; a span over a line end is
// underlined to the end of its first line.
Place place_of(const ReadSpan& s, std::string_view text) {
  const std::string_view span =
      text.substr(std::min(s.begin, text.size()),
                  s.end > s.begin ? s.end - s.begin : 0);
  std::size_t width_bytes = 0;
  while (width_bytes < span.size() && span[width_bytes] != '\r' &&
         span[width_bytes] != '\n') {
    ++width_bytes;
  }
  const auto width = static_cast<std::int64_t>(width_bytes);
  return {s.line, s.column, s.column + std::max<std::int64_t>(width, 1)};
}

// A set of indices or byte offsets, one bit each.
class Marks {
 public:
  explicit Marks(std::size_t size) : bits_(size, false) {}
  void insert(std::size_t i) {
    if (i >= bits_.size()) bits_.resize(i + 1, false);
    bits_[i] = true;
  }
  bool contains(std::size_t i) const { return i < bits_.size() && bits_[i]; }

 private:
  std::vector<bool> bits_;
};

// ---- The lint of one source -------------------------------------------------

class SourceLint {
 public:
  SourceLint(SourceKind source, const SourceRows& rows,
             const TracedSource& trace, const SourceRows& line_rows,
             const Model& model, const CheckOptions& options,
             const std::set<std::int32_t>& faulted_lines,
             std::vector<AuthorDiagnostic>& out)
      : source_(source),
        rows_(rows),
        text_(rows.text),
        trace_(trace),
        line_rows_(line_rows),
        model_(model),
        options_(options),
        faulted_(faulted_lines),
        out_(out),
        eaten_(rows.rows.size() + 2, false),
        compiled_keywords_(trace.keywords.size()),
        bad_fields_(rows.text.size() + 1),
        handled_(rows.text.size() + 1) {}

  void run() {
    run_checks();
    for (const auto& [id, told] : told_) {
      if (told.more == 0) continue;
      AuthorDiagnostic& last = out_[told.last];
      last.notes.push_back(note(
          source_, {last.line, last.column, last.end_column},
          num(told.more) + " more " + std::string(kWarnings[id].name) +
              " warnings in this source are not shown"));
    }
  }

 private:
  void run_checks() {
    byte_order_mark();
    if (!parts()) return;
    rows_read();
    keyword_fields();
    preamble_rows();
    if (source_ == SourceKind::kTrain) tables();
    if (first_beyond_ && beyond_after_first_ > 0) {
      out_[*first_beyond_].notes.push_back(note(
          source_, first_other_beyond_,
          num(beyond_after_first_) +
              (beyond_after_first_ == 1 ? " more row of this source lies"
                                        : " more rows of this source lie") +
              " beyond the end of the line too, the first here"));
    }
  }

  // ---- Reporting ----

  void warn(warning::Id id, const Place& at, std::string message,
            std::vector<DiagnosticNote> notes = {}) {
    const WarningInfo& w = kWarnings[id];
    if (!warning_enabled(w, options_)) return;
    if (!reported_.insert({at.line, at.column, id}).second) return;
    Told& told = told_[id];
    if (told.count == kMostOfAKind) {
      ++told.more;
      return;
    }
    ++told.count;
    told.last = out_.size();
    AuthorDiagnostic d;
    d.severity = Severity::kWarning;
    d.check = std::string(w.name);
    d.message = std::move(message);
    d.source = source_;
    d.line = at.line;
    d.column = at.column;
    d.end_column = at.end_column;
    d.notes = std::move(notes);
    out_.push_back(std::move(d));
  }

  DiagnosticNote note(SourceKind source, const Place& at,
                      std::string message) const {
    DiagnosticNote n;
    n.message = std::move(message);
    n.source = source;
    n.line = at.line;
    n.column = at.column;
    n.end_column = at.end_column;
    return n;
  }

  const AuthorRow* row_at(std::int64_t line) const { return rows_.row(line); }

  // Whether the span begins its line: the first field as the author wrote
  // the line.
  bool begins_line(const ReadSpan& s) const {
    const AuthorRow* r = row_at(s.line);
    return r != nullptr && !r->fields.empty() &&
           r->fields.front().begin == s.begin;
  }

  std::string_view bytes_of(const ReadSpan& s) const {
    return text_.substr(s.begin, s.end - s.begin);
  }

  // ---- Whole source ----

  void byte_order_mark() {
    if (text_.starts_with("\xEF\xBB\xBF")) {
      warn(warning::kByteOrderMark, {1, 1, 2},
           "the source begins with a UTF-8 byte-order mark: it was saved as "
           "UTF-8, and the simulator reads Windows-1252 text");
    }
  }

  // Whether the source reached its rows; a train source without
  // "[generale]" gets one warning for all of it.
  bool parts() {
    if (!trace_.begun) return false;
    // The compile goes on to the body at the end of the source too: the
    // preamble must have held "[generale]".
    const bool found = std::any_of(
        trace_.keywords.begin(), trace_.keywords.end(),
        [&](const TracedSource::Keyword& k) {
          return k.part == SourcePart::kPreamble &&
                 contains_ignoring_case(bytes_of(k.span), kGeneralHeader);
        });
    if (found || source_ != SourceKind::kTrain) return found;
    Place at{1, 1, 2};
    std::string message =
        "the train source has no [generale]: the compiler ignores all of it, "
        "and the train has no station, car or speed limit";
    // A header typed wrong is the likely cause: point at it.
    for (const AuthorRow& r : rows_.rows) {
      if (r.kind != RowKind::kHeader) continue;
      const std::string header = lowered(trimmed(r.fields.front().text));
      if (edits_to_contain(header, kGeneralHeader) <= 3) {
        at = place_of(r.fields.front(), r.line);
        message = "`" + shown(r.fields.front().text) +
                  "` is not [generale]: the compiler ignores the whole train "
                  "source, and the train has no station, car or speed limit";
        break;
      }
    }
    warn(warning::kMissingGenerale, at, message);
    return false;
  }

  // Rows an author wrote before "[generale]": ignored.
  void preamble_rows() {
    for (const AuthorRow& r : rows_.rows) {
      if (r.part != SourcePart::kPreamble || r.kind == RowKind::kComment ||
          r.kind == RowKind::kHeader || rows_.fields_of(r).size() < 2) {
        continue;
      }
      const std::string_view first = r.fields.front().text;
      for (const TableOf& t : kTables) {
        if (t.source != source_) continue;
        const auto k = std::find_if(
            t.table.begin(), t.table.end(),
            [&](const scenc::Keyword& k) { return k.matches(first); });
        if (k == t.table.end()) continue;
        warn(warning::kRowBeforeGenerale, place_of(r.fields.front(), r.line),
             "this " + std::string(k->row) +
                 " row stands before [generale], where the compiler ignores "
                 "everything");
        break;
      }
    }
  }

  // ---- Keyword fields that matched nothing, comments, headers ----

  void keyword_fields() {
    int comments_in_a_row = 0;
    for (std::size_t i = 0; i < trace_.keywords.size(); ++i) {
      const TracedSource::Keyword& k = trace_.keywords[i];
      const std::string_view field = field_text(k.span);
      quotes(k.span, "field");
      const bool comment = is_comment(field);
      const bool compiled = compiled_keywords_.contains(i);
      if (k.part == SourcePart::kPreamble) continue;
      if (k.at_end && !k.examined) {
        last_field(k, field);
        continue;
      }
      if (!k.examined) {
        // Skipped as a comment.
        ++comments_in_a_row;
        hidden_row(k, field);
        continue;
      }
      const int before = comments_in_a_row;
      comments_in_a_row = 0;
      if (comment) {
        if (compiled) third_comment(k, field, before);
        continue;
      }
      if (compiled || !begins_line(k.span) || eaten_[k.span.line]) continue;
      unmatched(i, k, field);
    }
  }

  // A keyword field as the reader returned it (a quoted one without its
  // quotes).
  std::string_view field_text(const ReadSpan& s) const {
    std::string_view t = bytes_of(s);
    if (!t.empty() && t.front() == '"') {
      t.remove_prefix(1);
      const std::size_t close = t.find('"');
      if (close != std::string_view::npos) t = t.substr(0, close);
    }
    return t;
  }

  void last_field(const TracedSource::Keyword& k, std::string_view field) {
    const auto table = keywords_of(source_, k.part);
    const auto match = std::find_if(
        table.begin(), table.end(),
        [&](const scenc::Keyword& kw) { return kw.matches(field); });
    if (match == table.end() || is_comment(field)) return;
    warn(warning::kLastRowNotRead, place_of(k.span, text_),
         "the source ends with this field, which the compiler never reads: "
         "this " +
             std::string(match->row) +
             " row is not compiled; end the source with [fine] on a line of "
             "its own");
  }

  // A comment whose "-" is not its first character, but which holds a
  // keyword: the author meant a row.
  void hidden_row(const TracedSource::Keyword& k, std::string_view field) {
    const std::string_view t = trimmed(field);
    if (t.empty() || t.front() == '-' || !begins_line(k.span)) return;
    for (const scenc::Keyword& kw : keywords_of(source_, k.part)) {
      if (!kw.matches(field)) continue;
      warn(warning::kCommentHidesRow, place_of(k.span, text_),
           "the \"-\" in `" + shown(field) +
               "` makes this a comment, so this " + std::string(kw.row) +
               " row is not compiled");
      return;
    }
  }

  void third_comment(const TracedSource::Keyword& k, std::string_view field,
                     int before) {
    const auto table = keywords_of(source_, k.part);
    const auto match = std::find_if(
        table.begin(), table.end(),
        [&](const scenc::Keyword& kw) { return kw.matches(field); });
    if (match == table.end()) return;
    warn(warning::kThirdComment, place_of(k.span, text_),
         "this comment follows " + num(before) +
             " comments in a row, so the compiler reads it as a row: it holds "
             "`" +
             std::string(match->word) + "` and is compiled as a " +
             std::string(match->row) + " row");
  }

  // Where the compiler begins a row later on the line of an ignored keyword
  // field: the fields after an unmatched keyword are each tried as a
  // keyword, so one that holds a keyword (a station named "STAZIONE 01")
  // begins a row of its own and takes its fields from what follows it. The
  // trace tells it where the compile read the line; a line a recovery
  // compile blanked is read from its fields as the author wrote them.
  struct RowBegun {
    ReadSpan at;
    const scenc::Keyword* keyword = nullptr;
  };
  std::optional<RowBegun> row_begun_later_on_line(std::size_t index) const {
    const TracedSource::Keyword& k = trace_.keywords[index];
    for (const TracedSource::Row& r : trace_.rows) {
      if (r.keyword_read <= index) continue;
      const ReadSpan& at = trace_.keywords[r.keyword_read].span;
      if (at.line != k.span.line) break;
      return RowBegun{at, r.keyword};
    }
    const AuthorRow* row = row_at(k.span.line);
    if (row == nullptr) return std::nullopt;
    const std::span<const RowField> fields = rows_.fields_of(*row);
    for (std::size_t i = 1; i < fields.size(); ++i) {
      const RowField& f = fields[i];
      if (is_comment(f.text)) continue;
      for (const scenc::Keyword& kw : keywords_of(source_, k.part)) {
        if (!kw.matches(f.text)) continue;
        return RowBegun{
            ReadSpan{row->line, f.column, f.begin, f.end}, &kw};
      }
    }
    return std::nullopt;
  }

  // What the compiler does with a line whose keyword field it ignored: the
  // end of the warning's message, and a note where a later field of the
  // line begins a row.
  std::string ignored(std::size_t index, std::string_view row_ignored,
                      std::vector<DiagnosticNote>& notes) const {
    const std::optional<RowBegun> later = row_begun_later_on_line(index);
    if (!later) return std::string(row_ignored);
    const std::string field = shown(field_text(later->at));
    const std::string what(later->keyword->row);
    notes.push_back(note(source_, place_of(later->at, text_),
                         "`" + field + "` holds `" +
                             std::string(later->keyword->word) + "`, so a " +
                             what +
                             " row begins here and takes its fields from "
                             "what follows"));
    return "the compiler skips its fields up to `" + field +
           "`, which it reads as the keyword of a " + what + " row";
  }

  // A keyword field at the start of its line that matched no row.
  void unmatched(std::size_t index, const TracedSource::Keyword& k,
                 std::string_view field) {
    const std::string_view t = trimmed(field);
    if (t.empty()) return;
    const Place at = place_of(k.span, text_);
    std::vector<DiagnosticNote> notes;
    if (is_section_header(field)) {
      section_header(t, at);
      return;
    }
    const std::string lower = lowered(field);
    // The case matters for some keywords.
    for (const scenc::Keyword& kw : keywords_of(source_, k.part)) {
      if (kw.case_rule != CaseRule::kExactCase) continue;
      const auto has = [&](std::string_view w) {
        return w.empty() || contains(lower, lowered(w));
      };
      if (has(kw.word) && has(kw.also)) {
        warn(warning::kKeywordCase, at,
             "`" + shown(field) + "` is not a " + std::string(kw.row) +
                 " row: its keyword must be written in small letters (\"" +
                 std::string(example_keyword(kw)) + "\"), so " +
                 ignored(index, "the compiler ignores this row", notes),
             std::move(notes));
        return;
      }
    }
    // A row of another part of the source, or of the other source.
    for (const TableOf& other : kTables) {
      if (other.source == source_ && other.part == k.part) continue;
      for (const scenc::Keyword& kw : other.table) {
        if (!kw.matches(field) && !(kw.case_rule == CaseRule::kExactCase &&
                                    distance_to(lower, kw) == 0)) {
          continue;
        }
        warn(warning::kRowInWrongPart, at,
             "this " + std::string(kw.row) + " row belongs in " +
                 home_of(other.source, other.part) + "; " +
                 ignored(index, "the compiler ignores it here", notes),
             std::move(notes));
        return;
      }
    }
    // A source of thousands of such rows: past the cap, skip the search.
    if (const auto t = told_.find(warning::kUnknownKeyword);
        t != told_.end() && t->second.count == kMostOfAKind) {
      if (reported_.insert({at.line, at.column, warning::kUnknownKeyword})
              .second) {
        ++t->second.more;
      }
      return;
    }
    // The nearest keyword, as a hint.
    const scenc::Keyword* best = nullptr;
    const TableOf* best_table = nullptr;
    int best_distance = 0;
    for (const TableOf& t2 : kTables) {
      for (const scenc::Keyword& kw : t2.table) {
        const int d = distance_to(lower, kw);
        if (d > tolerance(kw)) continue;
        const bool here = t2.source == source_ && t2.part == k.part;
        // Prefer a keyword of this part at the same distance.
        if (best == nullptr || d < best_distance ||
            (d == best_distance && here &&
             !(best_table->source == source_ && best_table->part == k.part))) {
          best = &kw;
          best_table = &t2;
          best_distance = d;
        }
      }
    }
    std::string message = "`" + shown(field) + "` matches no row of " +
                          home_of(source_, k.part) +
                          ": " +
                          ignored(index, "the compiler ignores this row", notes);
    if (best != nullptr) {
      message += "; did you mean `" + std::string(example_keyword(*best)) + "`";
      if (best_table->source != source_ || best_table->part != k.part) {
        message +=
            " (a row of " + home_of(best_table->source, best_table->part) + ")";
      }
      message += "?";
    }
    warn(warning::kUnknownKeyword, at, message, std::move(notes));
  }

  void section_header(std::string_view header, const Place& at) {
    const std::span<const std::string_view> known =
        source_ == SourceKind::kTrain
            ? std::span<const std::string_view>(kTrainSectionHeaders)
            : std::span<const std::string_view>(kLineSectionHeaders);
    const std::string lower = lowered(header);
    std::string_view nearest;
    int nearest_distance = 4;
    for (const std::string_view h : known) {
      if (lower == h) return;
      const int d = edits_to_contain(lower, h) +
                    static_cast<int>(
                        lower.size() > h.size() ? lower.size() - h.size() : 0);
      if (d < nearest_distance) {
        nearest = h;
        nearest_distance = d;
      }
    }
    std::string message =
        "`" + shown(header) + "` is not a section header of the " +
        (source_ == SourceKind::kTrain ? "train" : "line") + " source";
    if (!nearest.empty())
      message += "; did you mean `" + std::string(nearest) + "`?";
    warn(warning::kUnknownSection, at, message);
  }

  // ---- Rows the compile read ----

  // The fields of a row that give its place and extent, and their values
  // (none where the field is not a number: it has had its warning, and
  // nothing follows from a 0). Taken once the row's fields have been
  // looked at.
  struct RoleField {
    const TracedSource::Field* field = nullptr;
    std::optional<std::int64_t> value;
  };
  struct RowValues {
    RoleField position, distance, end;
  };
  RowValues values_of(const TracedSource::Row& r,
                      std::span<const TracedSource::Field> fields) const {
    RowValues v;
    for (const TracedSource::Field& f : fields) {
      const FieldRole role = r.keyword->fields[f.index].role;
      RoleField* slot = role == FieldRole::kPosition   ? &v.position
                        : role == FieldRole::kDistance ? &v.distance
                        : role == FieldRole::kEnd      ? &v.end
                                                       : nullptr;
      if (slot == nullptr || slot->field != nullptr) continue;
      slot->field = &f;
      slot->value = value_of(f);
    }
    return v;
  }

  // The last row of each keyword read so far, with its values: the rows
  // after it of the same keyword are set against it. Few keywords: a list.
  struct PreviousRow {
    const scenc::Keyword* keyword = nullptr;
    const TracedSource::Row* row = nullptr;
    RowValues values;
  };
  PreviousRow& previous_of(std::vector<PreviousRow>& previous,
                           const scenc::Keyword* keyword) const {
    for (PreviousRow& p : previous) {
      if (p.keyword == keyword) return p;
    }
    return previous.emplace_back(PreviousRow{keyword, nullptr, {}});
  }

  void rows_read() {
    std::vector<PreviousRow> previous;
    for (const TracedSource::Row& r : trace_.rows) {
      compiled_keywords_.insert(r.keyword_read);
      const TracedSource::Keyword& k = trace_.keywords[r.keyword_read];
      const std::span<const TracedSource::Field> fields = trace_.fields_of(r);
      // Rows that do not begin their line are leftovers of another row, or
      // rows an author put after another on one line: nothing to say.
      const bool own_line = begins_line(k.span) && !eaten_[k.span.line];
      // A comment compiled as a row has had its warning.
      const bool comment = is_comment(field_text(k.span));
      const bool complete =
          r.returned && r.field_count == r.keyword->fields.size();
      bool clean = own_line && !comment;
      if (clean && complete && !fields.empty()) {
        clean = row_extent(r, k, fields);
      }
      if (!clean) continue;
      for (const TracedSource::Field& f : fields) field_value(r, f);
      const RowValues values = values_of(r, fields);
      PreviousRow& before = previous_of(previous, r.keyword);
      if (faulted_.count(k.span.line) != 0) {
        negative_extent(r, values);
      } else {
        row_meaning(r, k, fields, values, before);
      }
      before.row = &r;
      before.values = values;
    }
  }

  // Why a row's own line gave it no fields, when the author separated them
  // with something other than commas: the keyword field then runs to the
  // line's end and holds them all.
  std::string separator_hint(const ReadSpan& keyword) const {
    const std::string_view field = bytes_of(keyword);
    for (const char c : {';', '\t', '|'}) {
      if (field.find(c) == std::string_view::npos) continue;
      const std::string shown_separator = c == '\t' ? "a tab" : std::string("`") + c + "`";
      return " (" + shown_separator +
             " does not separate fields: only a comma does, so the keyword "
             "field holds the whole line)";
    }
    return "";
  }

  // Whether the row kept to its line: one that runs on over later lines or
  // leaves fields over gets one warning. False when the row's own fields
  // are not worth looking at any further.
  bool row_extent(const TracedSource::Row& r, const TracedSource::Keyword& k,
                  std::span<const TracedSource::Field> fields) {
    const scenc::Keyword& kw = *r.keyword;
    const TracedSource::Field& last = fields.back();
    const auto at = [&] { return place_of(k.span, text_); };
    if (last.span.line > k.span.line) {
      // The first field read from a later line.
      const TracedSource::Field* first_later = nullptr;
      for (const TracedSource::Field& f : fields) {
        if (f.span.line > k.span.line) {
          first_later = &f;
          break;
        }
      }
      // Did a later line begin a row, a header or a comment of its own?
      const TracedSource::Field* taken = nullptr;
      for (const TracedSource::Field& f : fields) {
        if (f.span.line == k.span.line || !begins_line(f.span)) continue;
        const AuthorRow* row = row_at(f.span.line);
        if (row != nullptr &&
            (row->kind == RowKind::kRow || row->kind == RowKind::kHeader ||
             row->kind == RowKind::kComment)) {
          taken = &f;
          break;
        }
      }
      for (std::int64_t l = k.span.line + 1; l <= last.span.line; ++l) {
        eaten_[static_cast<std::size_t>(l)] = true;
      }
      const std::size_t on_line =
          static_cast<std::size_t>(first_later - fields.data());
      if (taken != nullptr) {
        const Field& f = kw.fields[taken->index];
        const AuthorRow* row = row_at(taken->span.line);
        warn(
            warning::kRowRunsIntoNext, at(),
            "this " + std::string(kw.row) + " row has " + num(on_line) +
                " of the " + num(kw.fields.size()) +
                " fields it takes; the compiler reads its `" +
                std::string(f.name) + "` from line " + num(taken->span.line) +
                ", and the row there is lost" + separator_hint(k.span),
            {note(source_, place_of(taken->span, text_),
                  "this " +
                      std::string(
                          row != nullptr && row->kind == RowKind::kRow
                              ? std::string(row->keywords.front()->row) + " row"
                              : std::string("line")) +
                      " is read as the `" + std::string(f.name) +
                      "` of the row on line " + num(k.span.line))});
        return false;
      }
      // A comma at the end of the line leaves an empty field there, read
      // as 0, and every field after it shifts by one.
      for (const TracedSource::Field& f : fields) {
        const char at_field =
            f.span.begin < text_.size() ? text_[f.span.begin] : '\n';
        if (f.span.line != k.span.line ||
            (at_field != '\r' && at_field != '\n')) {
          continue;
        }
        bad_fields_.insert(f.span.begin);
        handled_.insert(f.span.begin);
        warn(warning::kRowContinues, at(),
             "this " + std::string(kw.row) + " row goes on over line " +
                 num(first_later->span.line) +
                 ", and the comma that ends line " + num(k.span.line) +
                 " leaves an empty field before the line end: the compiler "
                 "reads 0 for its `" +
                 std::string(kw.fields[f.index].name) +
                 "`, and every field after it moves up by one");
        return true;
      }
      warn(warning::kRowContinues, at(),
           "this " + std::string(kw.row) + " row goes on over line " +
               num(first_later->span.line) +
               ": the compiler reads its fields across the line end" +
               separator_hint(k.span));
      return true;
    }
    // Fields left on the row's line after its last field. Where only
    // blanks and commas follow it, every field there is empty, and there
    // is no need to read them.
    const AuthorRow* row = row_at(k.span.line);
    if (row == nullptr) return true;
    bool only_blanks = true;
    for (std::size_t i = last.span.end; i < row->end && only_blanks; ++i) {
      only_blanks = text_[i] == ' ' || text_[i] == ',';
    }
    if (only_blanks) return true;
    std::vector<const RowField*> left;
    for (const RowField& f : rows_.fields_of(*row)) {
      if (f.begin < last.span.end) continue;
      if (trimmed(f.text).empty() || is_comment(f.text)) continue;
      // A row of its own after this one on the same line is compiled.
      const auto table = keywords_of(source_, k.part);
      if (std::any_of(table.begin(), table.end(), [&](const scenc::Keyword& x) {
            return x.matches(f.text);
          })) {
        break;
      }
      left.push_back(&f);
    }
    if (left.empty()) return true;
    const Field& last_field = kw.fields[last.index];
    const Place from = place_of(*left.front(), k.span.line);
    if (last_field.type == FieldType::kText) {
      warn(warning::kTextCutAtComma, from,
           "the " + std::string(kw.row) + "'s " + std::string(last_field.name) +
               " ends at the comma before this: the compiler keeps `" +
               shown(bytes_of(last.span)) + "` and reads `" +
               shown(left.front()->text) +
               "` as a new row; leave the comma out, or quote the whole text");
      return true;
    }
    std::string message =
        std::string(kw.row) + " rows take " + num(kw.fields.size()) + " field" +
        (kw.fields.size() == 1 ? "" : "s") + "; `" + shown(left.front()->text) +
        "`" + (left.size() > 1 ? " and what follows" : "") +
        " is read as a new row and ignored";
    // "2,5": a decimal comma splits one number in two, and the row's last
    // number is left over.
    const auto is_number = [](std::string_view t) {
      return parse_number_token(t).kind == NumberToken::Kind::kNumber;
    };
    bool joined = left.front()->begin == last.span.end + 1 &&
                  text_[last.span.end] == ',' && is_number(bytes_of(last.span));
    for (std::size_t i = 0; i + 1 < fields.size() && !joined; ++i) {
      const ReadSpan& a = fields[i].span;
      const ReadSpan& b = fields[i + 1].span;
      joined = b.begin == a.end + 1 && text_[a.end] == ',' &&
               is_number(bytes_of(a)) && is_number(bytes_of(b));
    }
    if (joined && is_number(left.front()->text)) {
      message += " (a decimal comma? numbers are whole, and a comma ends one)";
    }
    warn(warning::kExtraFields, from, message);
    return true;
  }

  // One field's value against its field's kind, range and step.
  void field_value(const TracedSource::Row& r, const TracedSource::Field& f) {
    if (handled_.contains(f.span.begin)) return;
    const Field& declared = r.keyword->fields[f.index];
    const auto at = [&] { return place_of(f.span, text_); };
    const std::string_view bytes = bytes_of(f.span);
    if (declared.type == FieldType::kText) {
      quotes(f.span, declared.name);
      const std::string_view value = field_text(f.span);
      if (holds_utf8(value)) {
        warn(
            warning::kNotWindows1252, at(),
            "the " + std::string(r.keyword->row) + "'s " +
                std::string(declared.name) +
                " is UTF-8 text: the simulator reads Windows-1252 and shows `" +
                cp1252_to_utf8(trimmed(value)) + "` for `" +
                std::string(trimmed(value)) + "`");
      }
      return;
    }
    const NumberToken token = parse_number_token(bytes);
    const auto what = [&] { return "the " + std::string(declared.name); };
    switch (token.kind) {
      case NumberToken::Kind::kEmpty: {
        bad_fields_.insert(f.span.begin);
        const Place p = at();
        warn(warning::kEmptyNumber, {p.line, p.column, p.column + 1},
             "the " + std::string(r.keyword->row) + " row's " +
                 std::string(declared.name) +
                 " is empty: the compiler reads 0");
        return;
      }
      case NumberToken::Kind::kNotNumber:
        bad_fields_.insert(f.span.begin);
        warn(warning::kNotANumber, at(),
             "`" + shown(bytes) +
                 "` is not a whole number, so the compiler reads 0 for " +
                 what() + number_hint(bytes));
        return;
      case NumberToken::Kind::kTooLarge:
        return;  // the general failure says so
      case NumberToken::Kind::kNumber:
        break;
    }
    const std::int64_t v = token.value;
    if (v < Field::type_lowest(declared.type) ||
        v > Field::type_highest(declared.type)) {
      return;  // the general failure says so
    }
    const auto unit = [&] {
      return declared.unit.empty() ? "" : " " + std::string(declared.unit);
    };
    if (v < declared.lowest || v > declared.highest) {
      warn(warning::kValueOutOfRange, at(),
           what() + " " + num(v) + unit() + " lies outside " +
               num(declared.lowest) + " to " + num(declared.highest) +
               ", the range the files keep it in: they hold another value");
      return;
    }
    if (declared.unit == "km/h" && v > kFastestPlausibleSpeed) {
      warn(warning::kImplausibleSpeed, at(),
           what() + " " + num(v) + unit() + " is faster than any train runs (" +
               num(kFastestPlausibleSpeed) + " km/h): a digit too many?");
      return;
    }
    if (declared.step > 0 && v % declared.step != 0) {
      warn(warning::kValueRounded, at(),
           what() + " " + num(v) + unit() + " is not a multiple of " +
               num(declared.step) + unit() +
               ": the files keep it in steps of " + num(declared.step) +
               unit());
    }
  }

  static std::string number_hint(std::string_view bytes) {
    if (bytes.find('\t') != std::string_view::npos) {
      return " (a tab is not a blank to the compiler; use spaces)";
    }
    if (bytes.find('.') != std::string_view::npos) {
      return " (numbers are whole, without a decimal point or thousands "
             "separator)";
    }
    if (bytes.find('"') != std::string_view::npos) {
      return " (numbers are not quoted)";
    }
    bool digits = false;
    bool letter_o = false;
    for (const char c : bytes) {
      digits = digits || (c >= '0' && c <= '9');
      letter_o = letter_o || c == 'O' || c == 'o';
    }
    if (digits && letter_o) return " (`O` is a letter, not a zero)";
    return "";
  }

  // Quotes that run on or leave text behind.
  void quotes(const ReadSpan& s, std::string_view what) {
    const std::string_view bytes = bytes_of(s);
    if (bytes.empty() || bytes.front() != '"') return;
    const std::size_t close = bytes.find('"', 1);
    const Place at = place_of(s, text_);
    if (close == std::string_view::npos) {
      warn(warning::kUnclosedQuote, at,
           "the quote that opens this " + std::string(what) +
               " is never closed: the field runs to the end of the source");
      return;
    }
    const std::size_t line_end = bytes.find_first_of("\r\n");
    if (line_end != std::string_view::npos && line_end < close) {
      std::int64_t lines = 0;
      for (std::size_t i = 0; i < close; ++i) {
        if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 >= bytes.size() ||
                                                      bytes[i + 1] != '\n'))) {
          ++lines;
        }
      }
      warn(warning::kUnclosedQuote, at,
           "the quote that opens this " + std::string(what) +
               " closes only on line " + num(s.line + lines) +
               ": the field runs over the line ends between");
      return;
    }
    const std::string_view after = trimmed(bytes.substr(close + 1));
    if (!after.empty()) {
      warn(warning::kTextAfterQuote, at,
           "`" + shown(after) +
               "` after the closing quote is dropped: the compiler keeps only "
               "the quoted text");
    }
  }

  // ---- What the row means on the line ----

  // The value of the row's field of `role`; none when it is not a number
  // (the field has had its warning, and nothing follows from a 0).
  std::optional<std::int64_t> value_of(
      const TracedSource::Row& r, std::span<const TracedSource::Field> fields,
      FieldRole role) const {
    for (const TracedSource::Field& f : fields) {
      if (r.keyword->fields[f.index].role != role) continue;
      return value_of(f);
    }
    return std::nullopt;
  }
  std::optional<std::int64_t> value_of(const TracedSource::Field& f) const {
    if (bad_fields_.contains(f.span.begin)) return std::nullopt;
    const NumberToken t = parse_number_token(bytes_of(f.span));
    if (t.kind == NumberToken::Kind::kTooLarge) return std::nullopt;
    return t.value;
  }
  const TracedSource::Field* field_of(
      std::span<const TracedSource::Field> fields, const TracedSource::Row& r,
      FieldRole role) const {
    for (const TracedSource::Field& f : fields) {
      if (r.keyword->fields[f.index].role == role) return &f;
    }
    return nullptr;
  }

  // The length row's field, for notes that say where the line ends.
  std::optional<DiagnosticNote> length_note(std::int64_t length) const {
    for (const AuthorRow& row : line_rows_.rows) {
      if (row.kind != RowKind::kRow || row.keywords.front()->row != "length" ||
          line_rows_.fields_of(row).size() < 2) {
        continue;
      }
      return note(SourceKind::kLine,
                  place_of(line_rows_.fields_of(row)[1], row.line),
                  "the line ends at " + num(length) + " m");
    }
    return std::nullopt;
  }

  // A length that is negative, or an end before the start: also on a row
  // that raised a fault, whose cause it may be.
  void negative_extent(const TracedSource::Row& r, const RowValues& values) {
    const auto row = [&] { return std::string(r.keyword->row); };
    const auto& position = values.position.value;
    const auto& distance = values.distance.value;
    const auto* distance_field = values.distance.field;
    const auto& end = values.end.value;
    const auto* end_field = values.end.field;
    if (distance && distance_field != nullptr && *distance < 0) {
      warn(warning::kNegativeLength, place_of(distance_field->span, text_),
           "the " + row() + "'s length " + num(*distance) + " m is negative");
    }
    if (end && position && end_field != nullptr && *end < *position) {
      warn(warning::kNegativeLength, place_of(end_field->span, text_),
           "the " + row() + " ends at " + num(*end) +
               " m, before it starts at " + num(*position) + " m");
    }
  }

  void row_meaning(const TracedSource::Row& r, const TracedSource::Keyword& k,
                   std::span<const TracedSource::Field> fields,
                   const RowValues& values, const PreviousRow& before) {
    const scenc::Keyword& kw = *r.keyword;
    const auto row = [&] { return std::string(kw.row); };
    const auto& position = values.position.value;
    const auto* position_field = values.position.field;
    const auto& distance = values.distance.value;
    const auto& end = values.end.value;

    if (position && position_field != nullptr && *position < 0) {
      warn(warning::kNegativePosition, place_of(position_field->span, text_),
           "the " + row() + " lies at " + num(*position) +
               " m, before the start of the line");
    } else if (position && position_field != nullptr &&
               model_.has_track_cells() &&
               kw.section != Section::kLineGeneral) {
      const std::int64_t length = model_.scenario_slots[kConsistSlot].num2;
      if (*position > length && first_beyond_) {
        // One wrong line length puts every later row past it: the first
        // row says so, and counts the others.
        if (beyond_after_first_++ == 0) {
          first_other_beyond_ = place_of(position_field->span, text_);
        }
      } else if (*position > length) {
        std::vector<DiagnosticNote> notes;
        if (auto n = length_note(length)) notes.push_back(std::move(*n));
        const std::size_t before = out_.size();
        warn(warning::kBeyondLineEnd, place_of(position_field->span, text_),
             "the " + row() + " at " + num(*position) +
                 " m lies beyond the end of the line at " + num(length) + " m",
             std::move(notes));
        if (out_.size() > before) first_beyond_ = before;
      }
    }
    negative_extent(r, values);
    if (kw.compile == curve_row) curve_keyword(k);

    const TracedSource::Row* previous = before.row;
    if (previous == nullptr) return;
    const TracedSource::Keyword& pk = trace_.keywords[previous->keyword_read];
    const auto here = [&] {
      return position_field != nullptr ? place_of(position_field->span, text_)
                                       : place_of(k.span, text_);
    };
    if (kw.order == RowOrder::kOnce) {
      warn(warning::kRepeatedRow, place_of(k.span, text_),
           "a second " + row() + " row: it replaces the one on line " +
               num(pk.span.line),
           {note(source_, place_of(pk.span, text_),
                 "the first " + row() + " row, which this one replaces")});
      return;
    }
    if (kw.order != RowOrder::kAscending || !position) return;
    const auto& prev_position = before.values.position.value;
    if (!prev_position) return;
    const auto* prev_position_field = before.values.position.field;
    const auto there = [&] {
      return prev_position_field != nullptr
                 ? place_of(prev_position_field->span, text_)
                 : place_of(pk.span, text_);
    };
    const auto prev_words = [&] {
      return "the previous " + row() + " row, at " + num(*prev_position) + " m";
    };

    if (kw.compile == curve_row || kw.compile == mountain_row) {
      // Stretches in metres: a start and, for curves, a length; for
      // mountains, an end.
      const auto& prev_distance = before.values.distance.value;
      const auto& prev_end_value = before.values.end.value;
      const std::int64_t prev_end =
          kw.compile == curve_row ? *prev_position + prev_distance.value_or(0)
                                  : prev_end_value.value_or(*prev_position);
      const std::int64_t this_end = kw.compile == curve_row
                                        ? *position + distance.value_or(0)
                                        : end.value_or(*position);
      if (*position < *prev_position) {
        warn(warning::kOutOfOrder, here(),
             "this " + row() + " at " + num(*position) +
                 " m comes after one at " + num(*prev_position) +
                 " m: " + row() + " rows must ascend along the line",
             {note(source_, there(), prev_words())});
      } else if (kw.compile == curve_row && this_end <= prev_end &&
                 *position < prev_end) {
        warn(warning::kOutOfOrder, here(),
             "this curve, " + num(*position) + " to " + num(this_end) +
                 " m, lies inside the previous one (" + num(*prev_position) +
                 " to " + num(prev_end) +
                 " m): the compiler adds nothing for it",
             {note(source_, there(), prev_words())});
      } else if (kw.compile == curve_row && *position < prev_end) {
        warn(warning::kCurveOverlap, here(),
             "this curve starts at " + num(*position) +
                 " m, before the previous one ends at " + num(prev_end) +
                 " m: it turns only from there, " + num(this_end - prev_end) +
                 " m instead of " + num(this_end - *position) + " m",
             {note(source_, there(), prev_words())});
      } else if (kw.compile == mountain_row) {
        mountains_joined(r, fields, *position, prev_end, here(), there());
      }
      return;
    }
    // Stretches of whole cells: each row's cell must lie beyond the one
    // before it.
    const std::int64_t cell = round_div_even(*position, 50);
    const std::int64_t prev_cell = round_div_even(*prev_position, 50);
    if (cell > prev_cell) return;
    warn(warning::kOutOfOrder, here(),
         *position < *prev_position
             ? "this " + row() + " row at " + num(*position) +
                   " m comes after one at " + num(*prev_position) +
                   " m: " + row() + " rows must ascend along the line"
             : "this " + row() + " row at " + num(*position) +
                   " m falls in the same 50 m cell as the previous one at " +
                   num(*prev_position) +
                   " m: the previous row's value holds "
                   "for one cell only, and this one starts a cell late",
         {note(source_, there(), prev_words())});
  }

  void mountains_joined(const TracedSource::Row& r,
                        std::span<const TracedSource::Field> fields,
                        std::int64_t start, std::int64_t previous_end,
                        const Place& here, const Place& there) {
    if (start - previous_end > 150) return;
    // The type the row gives, less 10 for one with markers.
    std::optional<std::int64_t> type;
    for (const TracedSource::Field& f : fields) {
      if (r.keyword->fields[f.index].name == "tipo") {
        type = parse_number_token(bytes_of(f.span)).value;
      }
    }
    if (type && *type > 10) *type -= 10;
    if (type && *type == 3) return;
    warn(warning::kMountainsJoined, here,
         "this mountain starts " + num(start - previous_end) +
             " m after the previous one ends at " + num(previous_end) +
             " m (150 m or less), so the compiler makes it type 3" +
             (type ? ", not " + num(*type) : std::string{}),
         {note(source_, there, "the previous mountain")});
  }

  // The side and the class a curve's keyword gives.
  void curve_keyword(const TracedSource::Keyword& k) {
    const std::string_view field = field_text(k.span);
    const std::string lower = lowered(field);
    const Place at = place_of(k.span, text_);
    const std::size_t curva = lower.find("curva");
    if (curva == std::string::npos) return;
    const char side = curva + 5 < lower.size() ? lower[curva + 5] : ' ';
    const bool turns_left = lower.find('s') != std::string::npos;
    if (side == 'd' && turns_left) {
      warn(warning::kCurveSide, at,
           "`" + shown(field) +
               "` holds an \"s\" after its \"d\", so the compiler turns this "
               "curve left, not right (only an \"s\" anywhere in the keyword "
               "is tested)");
    } else if (side != 's' && side != 'd') {
      warn(warning::kCurveSide, at,
           "`" + shown(field) +
               "` gives no side (s or d right after "
               "\"curva\"): the compiler turns it " +
               (turns_left ? "left, for the \"s\" it holds"
                           : "right, as every curve without an \"s\""));
    }
    std::string digits;
    for (const char d : std::string_view("123456")) {
      if (lower.find(d) != std::string::npos) digits.push_back(d);
    }
    if (digits.size() > 1) {
      std::string listed;
      for (std::size_t i = 0; i < digits.size(); ++i) {
        listed += i == 0 ? "" : (i + 1 == digits.size() ? " and " : ", ");
        listed.push_back(digits[i]);
      }
      warn(warning::kCurveClass, at,
           "`" + shown(field) + "` holds the class digits " + listed +
               ": the compiler takes class " + digits.substr(0, 1));
    }
  }

  // ---- The speed and adhesion tables ----

  void tables() {
    std::vector<std::string> missing;
    for (const scenc::Keyword& kw : kTrainKeywords) {
      if (kw.compile != speed_limit_row && kw.compile != adhesion_row) continue;
      const std::string what =
          kw.compile == speed_limit_row ? "speed limit" : "adhesion";
      const bool written = std::any_of(
          rows_.rows.begin(), rows_.rows.end(), [&](const AuthorRow& row) {
            return row.kind == RowKind::kRow &&
                   std::find(row.keywords.begin(), row.keywords.end(), &kw) !=
                       row.keywords.end();
          });
      if (!written) {
        missing.push_back(what);
        continue;
      }
      const auto first = std::find_if(
          trace_.rows.begin(), trace_.rows.end(),
          [&](const TracedSource::Row& r) { return r.keyword == &kw; });
      if (first == trace_.rows.end() || !first->returned) continue;
      const auto fields = trace_.fields_of(*first);
      const auto p = value_of(*first, fields, FieldRole::kPosition);
      const auto* pf = field_of(fields, *first, FieldRole::kPosition);
      if (!p || pf == nullptr || round_div_even(*p, 50) <= 0) continue;
      const std::int64_t cells = round_div_even(*p, 50);
      warn(warning::kTableStartsLate, place_of(pf->span, text_),
           "the first " + std::string(kw.row) + " row is at " + num(*p) +
               " m: the cells before it (0 to " + num(cells - 1) + ") get a " +
               what + " of 0");
    }
    if (missing.empty()) return;
    const bool both = missing.size() == 2;
    warn(warning::kMissingTable, general_place(),
         "the train source has no " +
             (both ? missing[0] + " row and no " + missing[1] + " row"
                   : missing[0] + " row") +
             ": every track cell gets " +
             (both ? "0 for both" : "a " + missing[0] + " of 0"));
  }

  Place general_place() const {
    for (const AuthorRow& r : rows_.rows) {
      if (r.kind == RowKind::kHeader &&
          contains_ignoring_case(r.fields.front().text, kGeneralHeader)) {
        return place_of(r.fields.front(), r.line);
      }
    }
    return {1, 1, 2};
  }

  // The most warnings of one kind told for one source; the rest are counted
  // in a note on the last one told, so that a source of thousands of like
  // rows does not bury the author (nor the memory).
  static constexpr std::int64_t kMostOfAKind = 100;
  struct Told {
    std::int64_t count = 0;
    std::int64_t more = 0;
    std::size_t last = 0;  // in out_
  };
  std::map<int, Told> told_;

  SourceKind source_;
  const SourceRows& rows_;
  std::string_view text_;
  const TracedSource& trace_;
  const SourceRows& line_rows_;
  const Model& model_;
  const CheckOptions& options_;
  const std::set<std::int32_t>& faulted_;
  std::vector<AuthorDiagnostic>& out_;
  std::vector<bool> eaten_;  // by line: read as fields of a row above
  // Keyword fields rows began on, by index into the trace's keywords.
  Marks compiled_keywords_;
  // By the byte offset they begin at: number fields that are not numbers,
  // and fields a row's warning has named.
  Marks bad_fields_;
  Marks handled_;
  std::set<std::tuple<std::int32_t, std::int32_t, int>> reported_;
  // The first beyond-line-end warning of this source, and the rows past the
  // end after it, which it counts in a note.
  std::optional<std::size_t> first_beyond_;
  std::int64_t beyond_after_first_ = 0;
  Place first_other_beyond_{};
};

}  // namespace

std::vector<AuthorDiagnostic> lint_sources(
    const LintTrace& trace, const SourceRows& line, const SourceRows& train,
    const Model& model, const std::vector<SourcePlace>& faulted_rows,
    const CheckOptions& options) {
  std::vector<AuthorDiagnostic> out;
  std::set<std::int32_t> faulted_line;
  std::set<std::int32_t> faulted_train;
  for (const SourcePlace& p : faulted_rows) {
    if (!p.known()) continue;
    (p.source == SourceKind::kTrain ? faulted_train : faulted_line)
        .insert(p.line);
  }
  const auto too_large = [&](SourceKind source) {
    const WarningInfo& w = kWarnings[warning::kSourceTooLarge];
    if (!warning_enabled(w, options)) return;
    AuthorDiagnostic d;
    d.severity = Severity::kWarning;
    d.check = std::string(w.name);
    d.source = source;
    d.line = 1;
    d.column = 1;
    d.end_column = 2;
    d.message = std::string("this source is larger than ") +
                num(static_cast<std::int64_t>(kLargestCheckedSource >> 20)) +
                " MiB: its faults are reported, but it is not read row by "
                "row for warnings";
    out.push_back(std::move(d));
  };
  if (trace.skip_line) {
    too_large(SourceKind::kLine);
  } else {
    SourceLint(SourceKind::kLine, line, trace.line, line, model, options,
               faulted_line, out)
        .run();
  }
  if (trace.skip_train) {
    too_large(SourceKind::kTrain);
  } else {
    SourceLint(SourceKind::kTrain, train, trace.train, line, model, options,
               faulted_train, out)
        .run();
  }
  return out;
}

std::string lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = lower(c);
  return out;
}

std::string shown(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  std::string t(s);
  if (t.size() > 40) t = t.substr(0, 37) + "...";
  t = holds_utf8(t) ? t : cp1252_to_utf8(t);
  std::string out;
  for (const char c : t) {
    if (c == '\t') {
      out += "\\t";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace scenc::tools
