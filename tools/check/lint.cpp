#include "tools/check/lint.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#include "compiler/distances.h"
#include "compiler/field_reader.h"
#include "model/cp1252.h"

namespace scenc::tools {
namespace {

using Row = SourceAccount::Row;
using AccountField = SourceAccount::Field;
using KeywordRead = SourceAccount::KeywordField;

std::string num(std::int64_t v) { return std::to_string(v); }

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

// A keyword field mended to match `k`: its words put in, at the least cost.
Mended mended_to(std::string_view field, const scenc::Keyword& k) {
  Mended m = mended_to_contain(field, lowered(k.word));
  if (!k.also.empty()) {
    const Mended also = mended_to_contain(m.text, lowered(k.also));
    m.text = also.text;
    m.cost += also.cost;
  }
  return m;
}

// The most a field may be off a keyword to be offered it: an edit for
// every four letters of its words, at least one.
int tolerance(const scenc::Keyword& k) {
  const std::size_t letters = k.word.size() + k.also.size();
  return kEditCost * static_cast<int>(std::max<std::size_t>(1, letters / 4)) +
         1;
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

std::span<const std::string_view> headers_of(SourceKind source) {
  return source == SourceKind::kTrain
             ? std::span<const std::string_view>(kTrainSectionHeaders)
             : std::span<const std::string_view>(kLineSectionHeaders);
}

// A field in the form of a section header.
bool looks_like_header(std::string_view field) {
  const std::string_view t = trimmed(field);
  return !t.empty() && t.front() == '[' && is_section_header(t);
}

// "a station row", "an adhesion row".
std::string a_row(std::string_view row) {
  const bool vowel = !row.empty() && std::string_view("aeiou").find(row.front()) !=
                                         std::string_view::npos;
  return (vowel ? "an " : "a ") + std::string(row) + " row";
}

bool holds_letters(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  });
}

// A field written as a comment is in other languages.
std::string_view other_comment_mark(std::string_view field) {
  const std::string_view t = trimmed(field);
  for (const std::string_view mark : {"//", "#", ";"}) {
    if (t.starts_with(mark)) return mark;
  }
  return {};
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

// A set of indices, one bit each.
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

// The value of a number field as the compiler read it; none where its text
// was not a whole number (the field has had its warning, and nothing
// follows from a 0).
std::optional<std::int64_t> number_of(const AccountField& f) {
  if (f.type == FieldType::kText || f.reading != NumberToken::Kind::kNumber) {
    return std::nullopt;
  }
  return f.value;
}

// ---- The lint of one source -------------------------------------------------

class SourceLint {
 public:
  SourceLint(SourceKind source, const SourceRows& rows,
             const SourceAccount& account, const LintContext& context,
             bool read_whole, std::vector<AuthorDiagnostic>& out)
      : source_(source),
        rows_(rows),
        text_(rows.text),
        account_(account),
        context_(context),
        model_(context.model),
        options_(context.options),
        read_whole_(read_whole),
        out_(out),
        eaten_(rows.rows.size() + 2, false),
        compiled_keywords_(account.keywords.size()) {}

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
    if (utf16()) return;
    if (!parts()) return;
    rows_read();
    keyword_fields();
    preamble_rows();
    if (source_ == SourceKind::kTrain) {
      tables();
      stations();
    }
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
            std::vector<DiagnosticNote> notes = {},
            std::optional<DiagnosticFix> fix = std::nullopt) {
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
    if (w.mend == WarningFix::kGiven) d.fix = std::move(fix);
    // A warning about a row stands where the row places its object.
    d.position = position_;
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

  Place at(const ReadSpan& s) const { return place_of(s, text_); }

  // The fix that writes `text` over a field the compile read, its blanks
  // around it kept.
  DiagnosticFix over_field(const ReadSpan& s, std::string title,
                           std::string text) const {
    const std::string_view field = bytes_of(s);
    const std::string_view t = trimmed(field);
    const auto lead =
        static_cast<std::int64_t>(t.empty() ? 0 : t.data() - field.data());
    const Place p = at(s);
    const std::int64_t column = p.column + lead;
    const std::int64_t end = std::min(
        p.end_column, column + static_cast<std::int64_t>(t.size()));
    return {std::move(title), p.line, column, std::max(end, column),
            std::move(text)};
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
    return account_.bytes_of(s);
  }
  std::string_view field_text(const ReadSpan& s) const {
    return account_.text_of(s);
  }
  const KeywordRead* keyword_of(const Row& r) const {
    return r.keyword_read < account_.keywords.size()
               ? &account_.keywords[r.keyword_read]
               : nullptr;
  }

  // ---- Whole source ----

  void byte_order_mark() {
    if (text_.starts_with("\xEF\xBB\xBF")) {
      warn(warning::kByteOrderMark, {1, 1, 2},
           "the source begins with a UTF-8 byte-order mark: it was saved as "
           "UTF-8, and the simulator reads Windows-1252 text",
           {}, DiagnosticFix{"Remove the byte-order mark", 1, 1, 4, ""});
    }
  }

  // A source in UTF-16, either byte order, with or without its mark: every
  // other byte of its text is 0. True when it is one (nothing else of it
  // is worth telling).
  bool utf16() {
    const std::string_view t = text_;
    std::string_view order;
    if (t.starts_with("\xFF\xFE")) {
      order = "little-endian";
    } else if (t.starts_with("\xFE\xFF")) {
      order = "big-endian";
    } else {
      // Without a mark: ASCII text as UTF-16 has a 0 byte in every pair.
      const std::size_t pairs = std::min<std::size_t>(t.size() / 2, 256);
      std::size_t low = 0;
      std::size_t high = 0;
      for (std::size_t i = 0; i < pairs; ++i) {
        low += t[2 * i + 1] == '\0' && t[2 * i] != '\0' ? 1 : 0;
        high += t[2 * i] == '\0' && t[2 * i + 1] != '\0' ? 1 : 0;
      }
      if (pairs < 4) return false;
      if (low * 10 >= pairs * 9) {
        order = "little-endian";
      } else if (high * 10 >= pairs * 9) {
        order = "big-endian";
      } else {
        return false;
      }
    }
    warn(warning::kUtf16Source, {1, 1, 2},
         "the source is UTF-16 text (" + std::string(order) +
             ", as an editor saves \"Unicode\"): the compiler reads single "
             "bytes, finds a 0 byte between every two letters and none of "
             "its rows; save it as Windows-1252 (ANSI)");
    return true;
  }

  // Whether the source reached its rows; a train source without
  // "[generale]" gets one warning for all of it.
  bool parts() {
    if (!account_.begun) return false;
    // The compile goes on to the body at the end of the source too: the
    // preamble must have held "[generale]".
    const bool found = generale() != nullptr;
    if (found || source_ != SourceKind::kTrain) return found;
    Place where{1, 1, 2};
    std::string message =
        "the train source has no [generale]: the compiler ignores all of it, "
        "and the train has no station, car or speed limit";
    // A header typed wrong is the likely cause: point at it.
    for (const KeywordRead& k : account_.keywords) {
      const std::string_view field = field_text(k.span);
      if (!looks_like_header(field)) continue;
      if (cost_to_contain(lowered(trimmed(field)), kGeneralHeader) <=
          3 * kEditCost) {
        where = at(k.span);
        message = "`" + shown(field) +
                  "` is not [generale]: the compiler ignores the whole train "
                  "source, and the train has no station, car or speed limit";
        break;
      }
    }
    warn(warning::kMissingGenerale, where, message);
    return false;
  }

  // The keyword field holding "[generale]" that ended the preamble.
  const KeywordRead* generale() const {
    for (const KeywordRead& k : account_.keywords) {
      if (k.part != SourcePart::kPreamble) break;
      if (contains_ignoring_case(bytes_of(k.span), kGeneralHeader)) return &k;
    }
    return nullptr;
  }
  Place general_place() const {
    const KeywordRead* k = generale();
    return k != nullptr ? at(k->span) : Place{1, 1, 2};
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
    for (std::size_t i = 0; i < account_.keywords.size(); ++i) {
      const KeywordRead& k = account_.keywords[i];
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
      if (!other_comment_mark(field).empty()) {
        not_a_comment(i, k, field, compiled);
        continue;
      }
      if (compiled || !begins_line(k.span) || eaten_[k.span.line]) continue;
      unmatched(i, k, field);
    }
  }

  void last_field(const KeywordRead& k, std::string_view field) {
    const auto table = keywords_of(source_, k.part);
    const auto match = std::find_if(
        table.begin(), table.end(),
        [&](const scenc::Keyword& kw) { return kw.matches(field); });
    if (match == table.end() || is_comment(field)) return;
    warn(warning::kLastRowNotRead, at(k.span),
         "the source ends with this field, which the compiler never reads: "
         "this " +
             std::string(match->row) +
             " row is not compiled; end the source with [fine] on a line of "
             "its own");
  }

  // A comment whose "-" is not its first character, but which holds a
  // keyword: the author meant a row.
  void hidden_row(const KeywordRead& k, std::string_view field) {
    const std::string_view t = trimmed(field);
    if (t.empty() || t.front() == '-' || !begins_line(k.span)) return;
    for (const scenc::Keyword& kw : keywords_of(source_, k.part)) {
      if (!kw.matches(field)) continue;
      std::string mended(trimmed(field));
      std::replace(mended.begin(), mended.end(), '-', ' ');
      warn(warning::kCommentHidesRow, at(k.span),
           "the \"-\" in `" + shown(field) +
               "` makes this a comment, so this " + std::string(kw.row) +
               " row is not compiled",
           {}, over_field(k.span, "Take the \"-\" out", std::move(mended)));
      return;
    }
  }

  void third_comment(const KeywordRead& k, std::string_view field,
                     int before) {
    const auto table = keywords_of(source_, k.part);
    const auto match = std::find_if(
        table.begin(), table.end(),
        [&](const scenc::Keyword& kw) { return kw.matches(field); });
    if (match == table.end()) return;
    warn(warning::kThirdComment, at(k.span),
         "this comment follows " + num(before) +
             " comments in a row, so the compiler reads it as a row: it holds "
             "`" +
             std::string(match->word) + "` and is compiled as " +
             a_row(match->row));
  }

  // A field written as a comment in another language: what the compiler
  // does with it.
  void not_a_comment(std::size_t index, const KeywordRead& k,
                     std::string_view field, bool compiled) {
    std::string what = "the compiler reads it as a keyword field";
    if (compiled) {
      for (const Row& r : account_.rows) {
        if (r.keyword_read != index) continue;
        what = "the compiler compiles it as " + a_row(r.keyword->row) +
               ", for the `" + std::string(r.keyword->word) +
               "` it holds, and takes the row's fields from what follows";
        break;
      }
    } else {
      what += " that matches no row and ignores it";
    }
    const std::string_view rest =
        trimmed(trimmed(field).substr(other_comment_mark(field).size()));
    warn(warning::kNotAComment, at(k.span),
         "`" + shown(field) + "` is not a comment: a comment is a field that "
             "holds a \"-\" (write `- " + shown(rest) + "`); " + what,
         {}, over_field(k.span, "Begin the comment with \"-\"",
                        "- " + std::string(rest)));
  }

  // Where the compiler begins a row later on the line of an ignored keyword
  // field: the fields after an unmatched keyword are each tried as a
  // keyword, so one that holds a keyword (a station named "STAZIONE 01")
  // begins a row of its own and takes its fields from what follows it.
  struct RowBegun {
    ReadSpan at;
    const scenc::Keyword* keyword = nullptr;
  };
  std::optional<RowBegun> row_begun_later_on_line(std::size_t index) const {
    const KeywordRead& k = account_.keywords[index];
    for (const Row& r : account_.rows) {
      if (r.keyword_read <= index) continue;
      const ReadSpan& begun = r.keyword_span;
      if (begun.line != k.span.line) break;
      return RowBegun{begun, r.keyword};
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
    notes.push_back(note(source_, at(later->at),
                         "`" + field + "` holds `" +
                             std::string(later->keyword->word) + "`, so a " +
                             what +
                             " row begins here and takes its fields from "
                             "what follows"));
    return "the compiler skips its fields up to `" + field +
           "`, which it reads as the keyword of a " + what + " row";
  }

  // A keyword field at the start of its line that matched no row.
  void unmatched(std::size_t index, const KeywordRead& k,
                 std::string_view field) {
    const std::string_view t = trimmed(field);
    if (t.empty()) return;
    const Place where = at(k.span);
    std::vector<DiagnosticNote> notes;
    if (is_section_header(field)) {
      section_header(k, t, where);
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
        warn(warning::kKeywordCase, where,
             "`" + shown(field) + "` is not a " + std::string(kw.row) +
                 " row: its keyword must be written in small letters (\"" +
                 std::string(example_keyword(kw)) + "\"), so " +
                 ignored(index, "the compiler ignores this row", notes),
             std::move(notes),
             over_field(k.span, "Write the keyword in small letters",
                        cp1252_lower(t)));
        return;
      }
    }
    // A row of another part of the source, or of the other source.
    for (const TableOf& other : kTables) {
      if (other.source == source_ && other.part == k.part) continue;
      for (const scenc::Keyword& kw : other.table) {
        if (!kw.matches(field) && !(kw.case_rule == CaseRule::kExactCase &&
                                    mended_to(lower, kw).cost == 0)) {
          continue;
        }
        warn(warning::kRowInWrongPart, where,
             "this " + std::string(kw.row) + " row belongs in " +
                 home_of(other.source, other.part) + "; " +
                 ignored(index, "the compiler ignores it here", notes),
             std::move(notes));
        return;
      }
    }
    // A source of thousands of such rows: past the cap, skip the search.
    if (const auto told = told_.find(warning::kUnknownKeyword);
        told != told_.end() && told->second.count == kMostOfAKind) {
      if (reported_.insert({where.line, where.column, warning::kUnknownKeyword})
              .second) {
        ++told->second.more;
      }
      return;
    }
    // The field mended to the nearest keyword, as a hint.
    const TableOf* best_table = nullptr;
    Mended best;
    for (const TableOf& t2 : kTables) {
      for (const scenc::Keyword& kw : t2.table) {
        Mended m = mended_to(trimmed(field), kw);
        if (m.cost > tolerance(kw)) continue;
        const bool here = t2.source == source_ && t2.part == k.part;
        // Prefer a keyword of this part at the same cost.
        if (best_table == nullptr || m.cost < best.cost ||
            (m.cost == best.cost && here &&
             !(best_table->source == source_ &&
               best_table->part == k.part))) {
          best = std::move(m);
          best_table = &t2;
        }
      }
    }
    std::string message = "`" + shown(field) + "` matches no row of " +
                          home_of(source_, k.part) + ": " +
                          ignored(index, "the compiler ignores this row", notes);
    std::optional<DiagnosticFix> fix;
    if (best_table != nullptr) {
      fix = over_field(k.span, "Write `" + shown(best.text) + "`", best.text);
      message += "; did you mean `" + shown(best.text) + "`";
      if (best_table->source != source_ || best_table->part != k.part) {
        message +=
            " (a row of " + home_of(best_table->source, best_table->part) + ")";
      }
      message += "?";
    }
    warn(warning::kUnknownKeyword, where, message, std::move(notes),
         std::move(fix));
  }

  void section_header(const KeywordRead& k, std::string_view header,
                      const Place& where) {
    const auto known = headers_of(source_);
    const std::string lower = lowered(header);
    if (std::find(known.begin(), known.end(), lower) != known.end()) return;
    const std::string_view nearest = nearest_header(header, known);
    std::string message =
        "`" + shown(header) + "` is not a section header of the " +
        (source_ == SourceKind::kTrain ? "train" : "line") + " source";
    std::optional<DiagnosticFix> fix;
    if (!nearest.empty()) {
      message += "; did you mean `" + std::string(nearest) + "`?";
      fix = over_field(k.span, "Write `" + std::string(nearest) + "`",
                       std::string(nearest));
    }
    warn(warning::kUnknownSection, where, message, {}, std::move(fix));
  }

  // ---- Rows the compile read ----

  // The fields of a row that give its place and extent, and their values.
  struct RoleField {
    const AccountField* field = nullptr;
    std::optional<std::int64_t> value;
  };
  struct RowValues {
    RoleField position, distance, end;
  };
  RowValues values_of(const Row& r,
                      std::span<const AccountField> fields) const {
    RowValues v;
    for (const AccountField& f : fields) {
      const FieldRole role = r.keyword->fields[f.index].role;
      RoleField* slot = role == FieldRole::kPosition   ? &v.position
                        : role == FieldRole::kDistance ? &v.distance
                        : role == FieldRole::kEnd      ? &v.end
                                                       : nullptr;
      if (slot == nullptr || slot->field != nullptr) continue;
      slot->field = &f;
      slot->value = number_of(f);
    }
    return v;
  }

  // The last row of each keyword the compile kept so far, with its values:
  // the rows after it of the same keyword are set against it. Few
  // keywords: a list.
  struct PreviousRow {
    const scenc::Keyword* keyword = nullptr;
    const Row* row = nullptr;
    RowValues values;
  };
  PreviousRow& previous_of(std::vector<PreviousRow>& previous,
                           const scenc::Keyword* keyword) const {
    for (PreviousRow& p : previous) {
      if (p.keyword == keyword) return p;
    }
    return previous.emplace_back(PreviousRow{keyword, nullptr, {}});
  }

  // What each row the compile read means, whatever the lines it stands
  // on; and, for a row that begins its line, whether it kept to it.
  void rows_read() {
    std::vector<PreviousRow> previous;
    for (const Row& r : account_.rows) {
      compiled_keywords_.insert(r.keyword_read);
      const std::span<const AccountField> fields = account_.fields_of(r);
      position_ = position_of(r, fields);
      const std::string_view keyword = field_text(r.keyword_span);
      // A comment compiled as a row has had its warning.
      if (is_comment(keyword)) continue;
      const bool complete =
          r.returned && r.field_count == r.keyword->fields.size();
      // A header read as a row takes its fields from the lines after it:
      // its own warning says so.
      if (looks_like_header(keyword)) {
        header_read_as_row(r, keyword);
        continue;
      }
      if (begins_line(r.keyword_span) && !eaten_[r.keyword_span.line] &&
          complete && !fields.empty()) {
        row_extent(r, fields);
      }
      // A row that took another row's text has one warning for it; its
      // fields say no more (those before are shifted, those after are
      // another row's). A row that raised a fault has it told there.
      const std::size_t own = own_fields(r, fields);
      if (own < fields.size()) {
        if (!r.faulted) runs_into_next(r, fields, own);
        continue;
      }
      field_values(r, fields);
      const RowValues values = values_of(r, fields);
      PreviousRow& before = previous_of(previous, r.keyword);
      row_meaning(r, fields, values, before);
      if (!r.undone) {
        before.row = &r;
        before.values = values;
      }
    }
    position_.reset();
  }

  // Where a row places its object: its position as the compiler read it.
  static std::optional<std::int32_t> position_of(
      const Row& r, std::span<const AccountField> fields) {
    for (const AccountField& f : fields) {
      if (r.keyword->fields[f.index].role != FieldRole::kPosition) continue;
      const auto v = number_of(f);
      if (!v) return std::nullopt;
      return static_cast<std::int32_t>(*v);
    }
    return std::nullopt;
  }

  // How many of a row's fields are its own: the rest, from the first that
  // holds another row's keyword, a comment or a header, belong to rows
  // its author wrote after it. A name that holds a keyword (a station
  // "STAZIONE DI SIGNA") is a name: only one that is a keyword as the
  // reference writes it ("stazione") counts.
  std::size_t own_fields(const Row& r,
                         std::span<const AccountField> fields) const {
    const auto table = keywords_of(source_, r.part);
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const AccountField& f = fields[i];
      const std::string_view text = trimmed(field_text(f.span));
      if (text.empty()) continue;
      if (f.type == FieldType::kText) {
        if (text.front() == '-' || looks_like_header(text) ||
            std::any_of(table.begin(), table.end(),
                        [&](const scenc::Keyword& k) {
                          return lowered(text) == lowered(example_keyword(k));
                        })) {
          return i;
        }
        continue;
      }
      // A number field: only text that is not a number can be another's,
      // and a comment holds words ("-1.5" is a number written wrong).
      if (f.reading != NumberToken::Kind::kNotNumber) continue;
      if ((is_comment(text) && holds_letters(text)) || looks_like_header(text) ||
          std::any_of(table.begin(), table.end(),
                      [&](const scenc::Keyword& k) { return k.matches(text); })) {
        return i;
      }
    }
    return fields.size();
  }

  void runs_into_next(const Row& r, std::span<const AccountField> fields,
                      std::size_t own) {
    const scenc::Keyword& kw = *r.keyword;
    const AccountField& taken = fields[own];
    const std::string_view text = field_text(taken.span);
    const std::string name(kw.fields[taken.index].name);
    std::string what = "a row";
    if (is_comment(text)) {
      what = "a comment";
    } else if (looks_like_header(text)) {
      what = "a header";
    } else {
      for (const scenc::Keyword& k : keywords_of(source_, r.part)) {
        if (k.matches(text)) {
          what = a_row(k.row);
          break;
        }
      }
    }
    warn(warning::kRowRunsIntoNext, at(r.keyword_span),
         "this " + std::string(kw.row) + " row has " + num(own) + " of the " +
             num(kw.fields.size()) + " fields it takes before `" +
             shown(text) + "`, which the compiler reads as its `" + name +
             "`: " + what + " begins there and is lost" +
             separator_hint(r.keyword_span),
         {note(source_, at(taken.span),
               "`" + shown(text) + "` is read as the `" + name + "` of the " +
                   std::string(kw.row) + " row on line " +
                   num(r.keyword_span.line))});
  }

  void header_read_as_row(const Row& r, std::string_view keyword) {
    const std::string_view nearest =
        nearest_header(trimmed(keyword), headers_of(source_));
    std::string message =
        "`" + shown(keyword) +
        "` has the form of a section header, but the compiler compiles it as " +
        a_row(r.keyword->row) + ", for the `" +
        std::string(r.keyword->word) + "` it holds, and takes its " +
        num(r.keyword->fields.size()) + " field" +
        (r.keyword->fields.size() == 1 ? "" : "s") + " from what follows";
    if (r.part == SourcePart::kGeneral) {
      message += "; as a header it also ends the general section";
    }
    std::optional<DiagnosticFix> fix;
    if (!nearest.empty() && lowered(trimmed(keyword)) != nearest) {
      message += "; did you mean `" + std::string(nearest) + "`?";
      fix = over_field(r.keyword_span, "Write `" + std::string(nearest) + "`",
                       std::string(nearest));
    }
    warn(warning::kHeaderReadAsRow, at(r.keyword_span), message, {},
         std::move(fix));
  }

  // Why a row's own line gave it no fields, when the author separated them
  // with something other than commas: the keyword field then runs to the
  // line's end and holds them all.
  std::string separator_hint(const ReadSpan& keyword) const {
    const std::string_view field = bytes_of(keyword);
    for (const char c : {';', '\t', '|'}) {
      if (field.find(c) == std::string_view::npos) continue;
      const std::string shown_separator =
          c == '\t' ? "a tab" : std::string("`") + c + "`";
      return " (" + shown_separator +
             " does not separate fields: only a comma does, so the keyword "
             "field holds the whole line)";
    }
    return "";
  }

  // Whether a row that begins its line kept to it, as its author laid it
  // out: one whose fields go on over later lines, or that leaves fields
  // over on its line, gets one warning.
  void row_extent(const Row& r, std::span<const AccountField> fields) {
    if (fields.back().span.line > r.keyword_span.line) {
      row_runs_on(r, fields);
    } else {
      fields_left_on_line(r, fields);
    }
  }

  // A row whose fields go on over later lines.
  void row_runs_on(const Row& r, std::span<const AccountField> fields) {
    const scenc::Keyword& kw = *r.keyword;
    const ReadSpan k = r.keyword_span;
    const AccountField& last = fields.back();
    for (std::int64_t l = k.line + 1; l <= last.span.line; ++l) {
      eaten_[static_cast<std::size_t>(l)] = true;
    }
    // A row that took another row's keyword has its warning.
    if (own_fields(r, fields) < fields.size()) return;
    const AccountField* first_later = nullptr;
    for (const AccountField& f : fields) {
      if (f.span.line > k.line) {
        first_later = &f;
        break;
      }
    }
    // A comma at the end of the line leaves an empty field there, read
    // as 0, and every field after it shifts by one.
    for (const AccountField& f : fields) {
      const char at_field =
          f.span.begin < text_.size() ? text_[f.span.begin] : '\n';
      if (f.span.line != k.line || (at_field != '\r' && at_field != '\n')) {
        continue;
      }
      warn(warning::kRowContinues, at(k),
           "on its line this " + std::string(kw.row) +
               " row goes on over line " + num(first_later->span.line) +
               ", and the comma that ends line " + num(k.line) +
               " leaves an empty field before the line end: the compiler "
               "reads 0 for its `" +
               std::string(kw.fields[f.index].name) +
               "`, and every field after it moves up by one");
      return;
    }
    warn(warning::kRowContinues, at(k),
         "on its line this " + std::string(kw.row) + " row goes on over line " +
             num(first_later->span.line) +
             ": the compiler reads its fields across the line end" +
             separator_hint(k));
  }

  // A row that leaves fields over on its line.
  void fields_left_on_line(const Row& r, std::span<const AccountField> fields) {
    const scenc::Keyword& kw = *r.keyword;
    const ReadSpan k = r.keyword_span;
    const AccountField& last = fields.back();
    // Fields left on the row's line after its last field. Where only
    // blanks and commas follow it, every field there is empty, and there
    // is no need to read them.
    const AuthorRow* row = row_at(k.line);
    if (row == nullptr) return;
    bool only_blanks = true;
    for (std::size_t i = last.span.end; i < row->end && only_blanks; ++i) {
      only_blanks = text_[i] == ' ' || text_[i] == ',';
    }
    if (only_blanks) return;
    std::vector<const RowField*> left;
    for (const RowField& f : rows_.fields_of(*row)) {
      if (f.begin < last.span.end) continue;
      if (trimmed(f.text).empty() || is_comment(f.text)) continue;
      // A row of its own after this one on the same line is compiled.
      const auto table = keywords_of(source_, r.part);
      if (std::any_of(table.begin(), table.end(), [&](const scenc::Keyword& x) {
            return x.matches(f.text);
          })) {
        break;
      }
      left.push_back(&f);
    }
    if (left.empty()) return;
    const Field& last_field = kw.fields[last.index];
    const Place from = place_of(*left.front(), k.line);
    if (last_field.type == FieldType::kText) {
      warn(warning::kTextCutAtComma, from,
           "on its line the " + std::string(kw.row) + "'s " +
               std::string(last_field.name) +
               " ends at the comma before this: the compiler keeps `" +
               shown(field_text(last.span)) + "` and reads `" +
               shown(left.front()->text) +
               "` as a new row; leave the comma out, or quote the whole text");
      return;
    }
    std::string message =
        "on its line, after the " + std::to_string(kw.fields.size()) +
        " field" + (kw.fields.size() == 1 ? "" : "s") + " " + a_row(kw.row) +
        " takes, `" + shown(left.front()->text) +
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
  }

  // Each field's value against its field's kind, range and step. Number
  // fields that read 0 because tabs stand in them are told once for the
  // row.
  void field_values(const Row& r, std::span<const AccountField> fields) {
    std::vector<const AccountField*> tabbed;
    for (const AccountField& f : fields) {
      if (f.type != FieldType::kText &&
          f.reading == NumberToken::Kind::kNotNumber &&
          bytes_of(f.span).find('\t') != std::string_view::npos) {
        tabbed.push_back(&f);
      }
    }
    for (const AccountField& f : fields) {
      if (tabbed.size() > 1 &&
          std::find(tabbed.begin(), tabbed.end(), &f) != tabbed.end()) {
        continue;
      }
      field_value(r, f);
    }
    if (tabbed.size() < 2) return;
    std::string names;
    for (std::size_t i = 0; i < tabbed.size(); ++i) {
      names += i == 0 ? "" : (i + 1 == tabbed.size() ? " and " : ", ");
      names += "`" + std::string(r.keyword->fields[tabbed[i]->index].name) + "`";
    }
    warn(warning::kNotANumber, at(tabbed.front()->span),
         "tabs stand in " + num(static_cast<std::int64_t>(tabbed.size())) +
             " number fields of this " + std::string(r.keyword->row) +
             " row, and a tab is not a blank to the compiler: it reads 0 for " +
             names + "; separate fields with commas and spaces");
  }

  void field_value(const Row& r, const AccountField& f) {
    const Field& declared = r.keyword->fields[f.index];
    const auto where = [&] { return at(f.span); };
    const std::string_view bytes = bytes_of(f.span);
    if (declared.type == FieldType::kText) {
      quotes(f.span, declared.name);
      const std::string_view value = field_text(f.span);
      if (holds_utf8(value)) {
        warn(
            warning::kNotWindows1252, where(),
            "the " + std::string(r.keyword->row) + "'s " +
                std::string(declared.name) +
                " is UTF-8 text: the simulator reads Windows-1252 and shows `" +
                cp1252_to_utf8(trimmed(value)) + "` for `" +
                std::string(trimmed(value)) + "`");
      }
      return;
    }
    const auto what = [&] { return "the " + std::string(declared.name); };
    switch (f.reading) {
      case NumberToken::Kind::kEmpty: {
        const Place p = where();
        warn(warning::kEmptyNumber, {p.line, p.column, p.column + 1},
             "the " + std::string(r.keyword->row) + " row's " +
                 std::string(declared.name) +
                 " is empty: the compiler reads 0");
        return;
      }
      case NumberToken::Kind::kNotNumber:
        warn(warning::kNotANumber, where(),
             "`" + shown(bytes) +
                 "` is not a whole number, so the compiler reads 0 for " +
                 what() + number_hint(bytes));
        return;
      case NumberToken::Kind::kTooLarge:
        return;  // the general failure says so
      case NumberToken::Kind::kNumber:
        break;
    }
    const std::int64_t v = f.value;
    if (v < Field::type_lowest(declared.type) ||
        v > Field::type_highest(declared.type)) {
      return;  // the general failure says so
    }
    const auto unit = [&] {
      return declared.unit.empty() ? "" : " " + std::string(declared.unit);
    };
    if (v < declared.lowest || v > declared.highest) {
      warn(warning::kValueOutOfRange, where(),
           what() + " " + num(v) + unit() + " lies outside " +
               num(declared.lowest) + " to " + num(declared.highest) +
               ", the range the files keep it in: they hold another value");
      return;
    }
    if (declared.unit == "km/h" && v > kFastestPlausibleSpeed) {
      warn(warning::kImplausibleSpeed, where(),
           what() + " " + num(v) + unit() + " is faster than any train runs (" +
               num(kFastestPlausibleSpeed) + " km/h): a digit too many?");
      return;
    }
    if (declared.step > 0 && v % declared.step != 0) {
      const Decision* kept = rounding_of(r, f);
      std::optional<DiagnosticFix> fix;
      // Where the field's own value was rounded (board speeds are rounded
      // packed in pairs), the fix writes what the files keep.
      if (kept != nullptr && kept->written == v) {
        const std::string multiple = num(kept->value * kept->step);
        fix = over_field(f.span, "Write " + multiple, multiple);
      }
      warn(warning::kValueRounded, where(),
           what() + " " + num(v) + unit() + " is not a multiple of " +
               num(declared.step) + unit() +
               ": the files keep it in steps of " + num(declared.step) +
               unit() +
               (kept ? ", and the compiler keeps round(" + num(kept->written) +
                           " / " + num(kept->step) + ") = " + num(kept->value)
                     : ""),
           {}, std::move(fix));
    }
  }

  // The compile's rounding of a field's value, or null.
  const Decision* rounding_of(const Row& r, const AccountField& f) const {
    for (const Decision& d : account_.decisions_of(r)) {
      if (d.kind == Decision::Kind::kRounded &&
          d.field == static_cast<int>(f.index)) {
        return &d;
      }
    }
    return nullptr;
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
    const Place where = at(s);
    if (close == std::string_view::npos) {
      warn(warning::kUnclosedQuote, where,
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
      warn(warning::kUnclosedQuote, where,
           "the quote that opens this " + std::string(what) +
               " closes only on line " + num(s.line + lines) +
               ": the field runs over the line ends between");
      return;
    }
    const std::string_view after = trimmed(bytes.substr(close + 1));
    if (!after.empty()) {
      warn(warning::kTextAfterQuote, where,
           "`" + shown(after) +
               "` after the closing quote is dropped: the compiler keeps only "
               "the quoted text");
    }
  }

  // ---- What the row means on the line ----

  // The length row's field, for notes that say where the line ends.
  std::optional<DiagnosticNote> length_note(std::int64_t length) const {
    const SourceAccount& line = context_.account.line;
    for (const Row& r : line.rows) {
      if (r.keyword->type != RowType::kLength || r.field_count == 0) continue;
      return note(SourceKind::kLine,
                  place_of(line.fields_of(r).front().span, line.bytes),
                  "the line ends at " + num(length) + " m");
    }
    return std::nullopt;
  }

  // A length that is negative, or an end before the start.
  void negative_extent(const Row& r, const RowValues& values) {
    const auto row = [&] { return std::string(r.keyword->row); };
    const auto& position = values.position.value;
    const auto& distance = values.distance.value;
    const auto* distance_field = values.distance.field;
    const auto& end = values.end.value;
    const auto* end_field = values.end.field;
    if (distance && distance_field != nullptr && *distance < 0) {
      warn(warning::kNegativeLength, at(distance_field->span),
           "the " + row() + "'s length " + num(*distance) + " m is negative");
    }
    if (end && position && end_field != nullptr && *end < *position) {
      warn(warning::kNegativeLength, at(end_field->span),
           "the " + row() + " ends at " + num(*end) +
               " m, before it starts at " + num(*position) + " m");
    }
  }

  void beyond_line_end(const Row& r, const RowValues& values) {
    const auto& position = values.position.value;
    const auto* position_field = values.position.field;
    if (!position || position_field == nullptr) return;
    if (*position < 0) {
      warn(warning::kNegativePosition, at(position_field->span),
           "the " + std::string(r.keyword->row) + " lies at " +
               num(*position) + " m, before the start of the line");
      return;
    }
    if (!model_.has_track_cells() ||
        r.keyword->section == Section::kLineGeneral) {
      return;
    }
    const std::int64_t length = model_.scenario_slots[kConsistSlot].num2;
    if (*position <= length) return;
    if (first_beyond_) {
      // One wrong line length puts every later row past it: the first
      // row says so, and counts the others.
      if (beyond_after_first_++ == 0) {
        first_other_beyond_ = at(position_field->span);
      }
      return;
    }
    std::vector<DiagnosticNote> notes;
    if (auto n = length_note(length)) notes.push_back(std::move(*n));
    const std::size_t before = out_.size();
    warn(warning::kBeyondLineEnd, at(position_field->span),
         "the " + std::string(r.keyword->row) + " at " + num(*position) +
             " m lies beyond the end of the line at " + num(length) + " m",
         std::move(notes));
    if (out_.size() > before) first_beyond_ = before;
  }

  void row_meaning(const Row& r, std::span<const AccountField> fields,
                   const RowValues& values, const PreviousRow& before) {
    const scenc::Keyword& kw = *r.keyword;
    const auto row = [&] { return std::string(kw.row); };
    beyond_line_end(r, values);
    negative_extent(r, values);
    for (const Decision& d : account_.decisions_of(r)) {
      if (d.kind == Decision::Kind::kCurveClass) curve_keyword(r, d);
      if (d.kind == Decision::Kind::kMountainJoined) {
        mountains_joined(r, values, d);
      }
    }

    const Row* previous = before.row;
    if (previous == nullptr) return;
    const auto& position = values.position.value;
    const auto* position_field = values.position.field;
    const auto& distance = values.distance.value;
    const auto here = [&] {
      return position_field != nullptr ? at(position_field->span)
                                       : at(r.keyword_span);
    };
    if (kw.order == RowOrder::kOnce) {
      warn(warning::kRepeatedRow, at(r.keyword_span),
           "a second " + row() + " row: it replaces the one on line " +
               num(previous->keyword_span.line),
           {note(source_, at(previous->keyword_span),
                 "the first " + row() + " row, which this one replaces")});
      return;
    }
    if (kw.order != RowOrder::kAscending || !position) return;
    const auto& prev_position = before.values.position.value;
    if (!prev_position) return;
    const auto* prev_position_field = before.values.position.field;
    const auto there = [&] {
      return prev_position_field != nullptr ? at(prev_position_field->span)
                                            : at(previous->keyword_span);
    };
    const auto prev_words = [&] {
      return "the previous " + row() + " row, at " + num(*prev_position) + " m";
    };

    if (kw.type == RowType::kCurve || kw.type == RowType::kMountain) {
      // Stretches in metres: a start and, for curves, a length; for
      // mountains, an end.
      const auto& prev_distance = before.values.distance.value;
      const auto& prev_end_value = before.values.end.value;
      const std::int64_t prev_end =
          kw.type == RowType::kCurve
              ? *prev_position + prev_distance.value_or(0)
              : prev_end_value.value_or(*prev_position);
      const std::int64_t this_end = kw.type == RowType::kCurve
                                        ? *position + distance.value_or(0)
                                        : values.end.value.value_or(*position);
      if (*position < *prev_position) {
        warn(warning::kOutOfOrder, here(),
             "this " + row() + " at " + num(*position) +
                 " m comes after one at " + num(*prev_position) +
                 " m: " + row() + " rows must ascend along the line",
             {note(source_, there(), prev_words())});
      } else if (kw.type == RowType::kCurve && this_end <= prev_end &&
                 *position < prev_end) {
        warn(warning::kOutOfOrder, here(),
             "this curve, " + num(*position) + " to " + num(this_end) +
                 " m, lies inside the previous one (" + num(*prev_position) +
                 " to " + num(prev_end) +
                 " m): the compiler adds nothing for it",
             {note(source_, there(), prev_words())});
      } else if (kw.type == RowType::kCurve && *position < prev_end) {
        warn(warning::kCurveOverlap, here(),
             "this curve starts at " + num(*position) +
                 " m, before the previous one ends at " + num(prev_end) +
                 " m: it turns only from there, " + num(this_end - prev_end) +
                 " m instead of " + num(this_end - *position) + " m",
             {note(source_, there(), prev_words())});
      }
      return;
    }
    // Stretches of whole cells: each row's cell must lie beyond the one
    // before it.
    const std::int64_t cell = round_div_even(*position, kCellLength);
    const std::int64_t prev_cell = round_div_even(*prev_position, kCellLength);
    if (cell > prev_cell) return;
    warn(warning::kOutOfOrder, here(),
         *position < *prev_position
             ? "this " + row() + " row at " + num(*position) +
                   " m comes after one at " + num(*prev_position) +
                   " m: " + row() + " rows must ascend along the line"
             : "this " + row() + " row at " + num(*position) +
                   " m falls in the same " + num(kCellLength) +
                   " m cell as the previous one at " + num(*prev_position) +
                   " m: the previous row's value holds "
                   "for one cell only, and this one starts a cell late",
         {note(source_, there(), prev_words())});
    (void)fields;
  }

  // The compile joined this mountain to the one before it.
  void mountains_joined(const Row& r, const RowValues& values,
                        const Decision& d) {
    if (d.written == 3) return;
    const auto& start = values.position.value;
    const Place here = values.position.field != nullptr
                           ? at(values.position.field->span)
                           : at(r.keyword_span);
    const std::string gap =
        start ? num(*start - d.limit) + " m after the previous one ends at "
              : "at most " + num(kMountainJoinGap) +
                    " m after the previous one ends at ";
    std::vector<DiagnosticNote> notes;
    if (d.earlier.keyword.known()) {
      Place there{d.earlier.keyword.line, d.earlier.keyword.column,
                  d.earlier.keyword.column + 1};
      if (const Row* earlier = account_.row_at(d.earlier.begin)) {
        there = at(earlier->keyword_span);
      }
      notes.push_back(note(source_, there, "the previous mountain"));
    }
    warn(warning::kMountainsJoined, here,
         "this mountain starts " + gap + num(d.limit) + " m (" +
             num(kMountainJoinGap) +
             " m or less), so the compiler makes it type 3, not " +
             num(d.written),
         std::move(notes));
  }

  // The side and the class the compile gave a curve, set beside what its
  // keyword seems to say.
  void curve_keyword(const Row& r, const Decision& d) {
    const std::string_view field = field_text(r.keyword_span);
    const std::string lower = lowered(field);
    const Place where = at(r.keyword_span);
    const std::string turns = d.left ? "left" : "right";
    const std::size_t curva = lower.find("curva");
    const char side = curva != std::string::npos && curva + 5 < lower.size()
                          ? lower[curva + 5]
                          : ' ';
    if (side == 'd' && d.left) {
      warn(warning::kCurveSide, where,
           "`" + shown(field) +
               "` holds an \"s\" after its \"d\", so the compiler turns this "
               "curve left, not right (only an \"s\" anywhere in the keyword "
               "is tested)");
    } else if (side != 's' && side != 'd') {
      warn(warning::kCurveSide, where,
           "`" + shown(field) +
               "` gives no side (s or d right after \"curva\"): the compiler "
               "turns it " +
               turns +
               (d.left ? ", for the \"s\" it holds"
                       : ", as every curve without an \"s\""));
    }
    const char taken = static_cast<char>('0' + d.value);
    std::string others;
    for (const char c : std::string_view("123456")) {
      if (c != taken && lower.find(c) != std::string::npos) others.push_back(c);
    }
    if (others.empty()) return;
    std::string listed;
    for (std::size_t i = 0; i < others.size(); ++i) {
      listed += i == 0 ? "" : (i + 1 == others.size() ? " and " : ", ");
      listed.push_back(others[i]);
    }
    warn(warning::kCurveClass, where,
         "`" + shown(field) + "` holds the class digit" +
             (others.size() == 1 ? " " : "s ") + listed + " beside " +
             std::string(1, taken) + ": the compiler takes class " +
             std::string(1, taken));
  }

  // ---- The speed and adhesion tables, the stations ----

  // The first row of `type` the compile kept, or null.
  const Row* first_row_of(RowType type) const {
    for (const Row& r : account_.rows) {
      if (r.keyword->type == type && !r.undone) return &r;
    }
    return nullptr;
  }

  void tables() {
    std::vector<std::string> missing;
    for (const scenc::Keyword& kw : kTrainKeywords) {
      if (kw.type != RowType::kSpeedLimit && kw.type != RowType::kAdhesion) {
        continue;
      }
      const std::string what =
          kw.type == RowType::kSpeedLimit ? "speed limit" : "adhesion";
      const Row* first = first_row_of(kw.type);
      if (first == nullptr) {
        if (read_whole_) missing.push_back(what);
        continue;
      }
      if (!first->returned) continue;
      const RowValues v = values_of(*first, account_.fields_of(*first));
      if (!v.position.value || v.position.field == nullptr) continue;
      const std::int64_t cells = round_div_even(*v.position.value, kCellLength);
      if (cells <= 0) continue;
      position_ = static_cast<std::int32_t>(*v.position.value);
      warn(warning::kTableStartsLate, at(v.position.field->span),
           "the first " + std::string(kw.row) + " row is at " +
               num(*v.position.value) + " m: the cells before it (0 to " +
               num(cells - 1) + ") get " + (what == "adhesion" ? "an " : "a ") +
               what + " of 0");
    }
    position_.reset();
    if (missing.empty()) return;
    const bool both = missing.size() == 2;
    warn(warning::kMissingTable, general_place(),
         "the train source has no " +
             (both ? missing[0] + " row and no " + missing[1] + " row"
                   : missing[0] + " row") +
             ": every track cell gets " +
             (both ? "0 for both"
                   : (missing[0] == "adhesion" ? "an " : "a ") + missing[0] +
                         " of 0"));
  }

  void stations() {
    // A station row that raised a fault is there all the same.
    if (!read_whole_ || !account_.reached_body ||
        std::any_of(account_.rows.begin(), account_.rows.end(),
                    [](const Row& r) {
                      return r.keyword->type == RowType::kStation;
                    })) {
      return;
    }
    warn(warning::kNoStations, general_place(),
         "the compiler finds no station row in the train source: the train "
         "has no timetable, and no station marker stands on the line");
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
  const SourceAccount& account_;
  const LintContext& context_;
  const Model& model_;
  const CheckOptions& options_;
  bool read_whole_;
  std::vector<AuthorDiagnostic>& out_;
  std::vector<bool> eaten_;  // by line: read as fields of a row above
  // Keyword fields rows began on, by index into the account's keywords.
  Marks compiled_keywords_;
  std::set<std::tuple<std::int64_t, std::int64_t, int>> reported_;
  // The first beyond-line-end warning of this source, and the rows past the
  // end after it, which it counts in a note.
  std::optional<std::size_t> first_beyond_;
  std::int64_t beyond_after_first_ = 0;
  Place first_other_beyond_{};
  // The position of the row the warnings being told are about.
  std::optional<std::int32_t> position_;
};

AuthorDiagnostic too_large(SourceKind source) {
  AuthorDiagnostic d;
  d.severity = Severity::kWarning;
  d.check = std::string(kWarnings[warning::kSourceTooLarge].name);
  d.source = source;
  d.line = 1;
  d.column = 1;
  d.end_column = 2;
  d.message = std::string("this source is larger than ") +
              num(static_cast<std::int64_t>(kLargestCheckedSource >> 20)) +
              " MiB: its faults are reported, but it is not read row by "
              "row for warnings";
  return d;
}

}  // namespace

std::vector<AuthorDiagnostic> lint_sources(const LintContext& context) {
  std::vector<AuthorDiagnostic> out;
  const auto lint = [&](SourceKind source, const SourceRows& rows,
                        bool read_whole, std::size_t size) {
    if (size > kLargestCheckedSource) {
      if (warning_enabled(kWarnings[warning::kSourceTooLarge],
                          context.options)) {
        out.push_back(too_large(source));
      }
      return;
    }
    const SourceAccount& account = context.account.of(source);
    if (!account.begun) return;
    SourceLint(source, rows, account, context, read_whole, out).run();
  };
  lint(SourceKind::kLine, context.line_rows, context.line_read_whole,
       context.line_size);
  lint(SourceKind::kTrain, context.train_rows, context.train_read_whole,
       context.train_size);
  return out;
}

}  // namespace scenc::tools
