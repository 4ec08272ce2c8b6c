#include "tools/format/format.h"

#include <algorithm>
#include <cstring>

#include "compiler/keywords.h"
#include "compiler/source_store.h"
#include "output/scenario_files.h"
#include "scenario/build_run.h"
#include "tools/check/check.h"
#include "tools/layout/row_layout.h"

namespace scenc::tools {
namespace {

// Where each line begins and where its text ends, before its line end (CR
// LF, or a lone CR or LF, as the field reader counts them).
struct Lines {
  std::vector<std::size_t> begin;
  std::vector<std::size_t> end;

  explicit Lines(std::string_view bytes) {
    std::size_t at = 0;
    begin.push_back(0);
    while (at < bytes.size()) {
      const char c = bytes[at];
      if (c != '\r' && c != '\n') {
        ++at;
        continue;
      }
      end.push_back(at);
      at += (c == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n') ? 2 : 1;
      begin.push_back(at);
    }
    end.push_back(bytes.size());
  }
  // The 0-based line holding byte `offset`.
  std::size_t of(std::size_t offset) const {
    return static_cast<std::size_t>(
        std::upper_bound(begin.begin(), begin.end(), offset) - begin.begin() - 1);
  }
};

// The bytes of a span of the account in `bytes`, the source it was kept of.
std::string_view bytes_of(std::string_view bytes, const AccountSpan& s) {
  const std::size_t begin = std::min(s.begin, bytes.size());
  return bytes.substr(begin, s.end > begin ? s.end - begin : 0);
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// A row of the account, with the lines it spans and its fields as they
// are to be written again, or why it is to be left as it stands.
struct RowPlan {
  std::size_t first_line = 0;
  std::size_t last_line = 0;
  bool from_first_column = false;
  LaidRow laid;
  std::string refused;  // empty when the row may be re-laid
};

// Why a field as read cannot be written again as it stands, or empty.
std::string refusal_of_number(const SourceAccount::Row& row,
                              const SourceAccount::Field& f) {
  const std::string name(SourceAccount::field_name(row, f.index));
  switch (f.reading) {
    case NumberToken::Kind::kNumber:
      return {};
    case NumberToken::Kind::kEmpty:
      return "its " + name + " is empty and reads as 0";
    case NumberToken::Kind::kNotNumber:
      return "its " + name + " is not a whole number and reads as 0";
    case NumberToken::Kind::kTooLarge:
      break;
  }
  return "its " + name + " is too large for any field";
}

// A text is written again as it stands when it ends its row on the
// keyword's line: bare, or in quotes that close on that line with nothing
// after them.
std::string refusal_of_text(std::string_view text, bool last, bool same_line) {
  if (!last) return "a text stands before its last field";
  if (!same_line) return "its text is read from a later line";
  if (trimmed(text).empty()) return "its text is empty";
  if (text.find_first_of("\r\n") != std::string_view::npos) {
    return "its quoted text runs over the line end";
  }
  if (text.front() == '"' &&
      (text.size() < 2 || text.back() != '"' ||
       text.find('"', 1) != text.size() - 1)) {
    return "its text holds what the reader drops after a closing quote";
  }
  return {};
}

RowPlan plan_row(const SourceAccount& account, std::string_view bytes,
                 const SourceAccount::Row& row, std::size_t rows_on_keyword,
                 const Lines& lines) {
  RowPlan p;
  const std::size_t begin = row.keyword_span.begin;
  p.first_line = p.last_line = lines.of(begin);
  p.from_first_column = begin == lines.begin[p.first_line];
  const std::string_view keyword = bytes_of(bytes, row.keyword_span);
  p.laid.keyword = std::string(trimmed(keyword));
  const auto fields = account.fields_of(row);
  if (!fields.empty()) p.last_line = lines.of(fields.back().span.begin);
  p.laid.numbers.reserve(fields.size());

  if (rows_on_keyword > 1) {
    p.refused = "its keyword field is read as " +
                std::to_string(rows_on_keyword) + " rows";
  } else if (row.faulted || row.undone) {
    p.refused = "the row raised a fault";
  } else if (!row.returned) {
    p.refused = "the compile stopped inside the row";
  } else if (keyword.find('"') != std::string_view::npos) {
    p.refused = "its keyword field holds a double quote";
  }
  for (std::size_t i = 0; i < fields.size() && p.refused.empty(); ++i) {
    const SourceAccount::Field& f = fields[i];
    if (f.type != FieldType::kText) {
      p.refused = refusal_of_number(row, f);
      p.laid.numbers.emplace_back(bytes_of(bytes, f.span));
      continue;
    }
    const std::string_view text = bytes_of(bytes, f.span);
    p.refused = refusal_of_text(text, i + 1 == fields.size(),
                                lines.of(f.span.begin) == p.first_line);
    p.laid.text = std::string(text);
  }
  return p;
}

// Rows that share a line, with the lines they span.
struct Group {
  std::size_t first_line = 0;
  std::size_t last_line = 0;
  std::vector<std::size_t> plans;
  std::string refused;
  std::size_t section = 0;
  // One row alone on one line from its first column: the author's spacing
  // is kept unless its section is re-laid.
  bool regular() const { return plans.size() == 1 && first_line == last_line; }
};

class SourceFormatter {
 public:
  SourceFormatter(const SourceAccount& account, std::string_view bytes)
      : account_(account), bytes_(bytes), lines_(bytes) {}

  FormattedSource run() {
    FormattedSource out;
    if (!account_.whole) {
      out.left.push_back({0, "a source larger than 1 MiB is not formatted"});
      return out;
    }
    plan_rows();
    group_rows();
    refuse_groups_with_other_fields();
    for (std::size_t s = 0; s <= sections_; ++s) lay_out_section(s, out);
    return out;
  }

 private:
  // Every keyword field in order: the rows compiled on it, and the others
  // (comments, headers, fields that match nothing) kept aside.
  void plan_rows() {
    std::size_t r = 0;
    const auto& rows = account_.rows;
    for (std::uint32_t k = 0; k < account_.keywords.size(); ++k) {
      const auto& field = account_.keywords[k];
      std::size_t on_keyword = 0;
      while (r + on_keyword < rows.size() &&
             rows[r + on_keyword].keyword_read == k) {
        ++on_keyword;
      }
      if (is_section_header(bytes_of(bytes_, field.span))) {
        header_starts_.push_back(field.span.begin);
      }
      if (on_keyword == 0) {
        others_.push_back(field.span);
        continue;
      }
      for (std::size_t i = 0; i < on_keyword; ++i) {
        plans_.push_back(plan_row(account_, bytes_, rows[r + i], on_keyword, lines_));
        plan_begin_.push_back(field.span.begin);
      }
      r += on_keyword;
    }
    sections_ = header_starts_.size();
  }

  void group_rows() {
    for (std::size_t i = 0; i < plans_.size(); ++i) {
      const RowPlan& p = plans_[i];
      if (groups_.empty() || p.first_line > groups_.back().last_line) {
        Group g;
        g.first_line = p.first_line;
        g.section = static_cast<std::size_t>(
            std::upper_bound(header_starts_.begin(), header_starts_.end(),
                             plan_begin_[i]) -
            header_starts_.begin());
        groups_.push_back(g);
      }
      Group& g = groups_.back();
      g.last_line = std::max(g.last_line, p.last_line);
      g.plans.push_back(i);
      if (g.refused.empty()) g.refused = p.refused;
    }
  }

  // A field that is no row's on a group's lines stays where it stands, and
  // so do the group's rows; only an empty field at the end of a line, which
  // the reader finds after a number that ends in blanks or a comma, goes
  // with the blanks.
  void refuse_groups_with_other_fields() {
    for (const AccountSpan& s : others_) {
      const std::size_t line = lines_.of(s.begin);
      if (s.begin == s.end && s.begin == lines_.end[line]) continue;
      const std::size_t last = lines_.of(s.end > s.begin ? s.end - 1 : s.begin);
      // The groups are apart and in order: those the field's lines meet.
      auto g = std::lower_bound(
          groups_.begin(), groups_.end(), line,
          [](const Group& x, std::size_t l) { return x.last_line < l; });
      for (; g != groups_.end() && g->first_line <= last; ++g) {
        if (g->refused.empty()) g->refused = "its line holds fields no row reads";
      }
    }
  }

  bool is_regular(const Group& g) const {
    return g.regular() && plans_[g.plans[0]].from_first_column;
  }

  void lay_out_section(std::size_t section, FormattedSource& out) {
    std::vector<const Group*> groups;
    bool re_lay = false;
    for (const Group& g : groups_) {
      if (g.section != section) continue;
      groups.push_back(&g);
      re_lay = re_lay || (g.refused.empty() && !is_regular(g));
    }
    std::vector<LaidRow> rows;
    for (const Group* g : groups) {
      if (!g->refused.empty()) {
        if (re_lay || !is_regular(*g)) {
          out.left.push_back(
              {static_cast<std::int64_t>(g->first_line) + 1, g->refused});
        }
        continue;
      }
      for (const std::size_t i : g->plans) rows.push_back(plans_[i].laid);
    }
    if (!re_lay) return;
    const std::vector<std::string> laid = aligned_rows(rows);
    std::size_t next = 0;
    for (const Group* g : groups) {
      if (!g->refused.empty()) continue;
      const std::string_view end = line_end_of(g->first_line);
      std::string text;
      for (std::size_t i = 0; i < g->plans.size(); ++i) {
        if (i > 0) text += end;
        text += laid[next++];
      }
      const std::size_t begin = lines_.begin[g->first_line];
      const std::size_t stop = lines_.end[g->last_line];
      if (bytes_.substr(begin, stop - begin) != text) {
        out.edits.push_back({begin, stop, std::move(text)});
      }
    }
  }

  // The line end after a line, else the file's first, else CR LF.
  std::string_view line_end_of(std::size_t line) const {
    const std::size_t l = line + 1 < lines_.begin.size() ? line : 0;
    if (l + 1 >= lines_.begin.size()) return "\r\n";
    return bytes_.substr(lines_.end[l], lines_.begin[l + 1] - lines_.end[l]);
  }

  const SourceAccount& account_;
  std::string_view bytes_;
  Lines lines_;
  std::vector<RowPlan> plans_;
  std::vector<std::size_t> plan_begin_;
  std::vector<AccountSpan> others_;
  std::vector<std::size_t> header_starts_;
  std::size_t sections_ = 0;
  std::vector<Group> groups_;
};

// The last guard: whether the compile of the formatted sources writes what
// the compile of the sources as given writes, byte for byte, and leaves the
// same fault recorded and the same error exit.
//
// The slot file and the cell file are written and compared whole. The
// line geometry file (20 MB on the longest line) is a function of the
// plan alone, and the writer of a drawn plan reads nothing of it but the
// number of metres, metres 0 and 1 (tags and values, from which the pen
// starts), how far it is drawn, and its runs (each run's last metre and
// its turn): where all of these are the same, bit for bit, the writer
// lays out the same bytes from them, so comparing them compares the
// files without drawing a million metres twice. Any change to what the
// compiler reads that reaches the geometry (a curve's start, length,
// class or side, the line's length) changes one of them. A plan that is
// not drawn, or plans that differ in how they are held, are written out
// and compared byte for byte.
class SameFiles {
 public:
  static bool of(const Model& a, std::int32_t exit_a, const Model& b,
                 std::int32_t exit_b) {
    if (exit_a != exit_b || a.error_code != b.error_code ||
        a.error_position != b.error_position ||
        a.write_line_file != b.write_line_file || a.line_name != b.line_name ||
        a.train_number != b.train_number) {
      return false;
    }
    if (exit_a != 0) return true;  // no file is written
    if (written(a, write_slot_file) != written(b, write_slot_file) ||
        written(a, write_cell_file) != written(b, write_cell_file)) {
      return false;
    }
    return a.write_line_file == 0 || same_plan(a.line_profile, b.line_profile);
  }

 private:
  static std::string written(const Model& m,
                             void (*write)(const Model&, ByteWriter&)) {
    StringSink sink;
    ByteWriter out(sink);
    write(m, out);
    out.flush();
    return std::move(sink.bytes);
  }

  static std::string geometry(const LineProfile& p) {
    StringSink sink;
    ByteWriter out(sink);
    write_line_geometry_file(p, out);
    out.flush();
    return std::move(sink.bytes);
  }

  // Bit for bit: a turn of -0.0 and one of 0.0 are told apart.
  static bool same_bits(double x, double y) {
    return std::memcmp(&x, &y, sizeof x) == 0;
  }

  static bool same_plan(const LineProfile& a, const LineProfile& b) {
    if (!a.is_drawn() || !b.is_drawn()) return geometry(a) == geometry(b);
    if (a.metre_count() != b.metre_count() || a.drawn_end() != b.drawn_end() ||
        a.runs().size() != b.runs().size()) {
      return false;
    }
    for (int c = 0; c < 2; ++c) {
      for (std::int64_t m = 0; m < 2; ++m) {
        if (a.tag(c, m) != b.tag(c, m) ||
            !same_bits(a.value(c, m), b.value(c, m))) {
          return false;
        }
      }
    }
    return std::equal(a.runs().begin(), a.runs().end(), b.runs().begin(),
                      [](const LineProfile::Run& x, const LineProfile::Run& y) {
                        return x.last == y.last && same_bits(x.turn, y.turn);
                      });
  }
};

CheckOptions first_compile_only() {
  CheckOptions o;
  o.recover = false;
  o.max_errors = 0;
  return o;
}

}  // namespace

// The formatted sources are compiled as a build compiles them: no account,
// no lint, only the model the files are written from.
bool compiles_to_the_same(const CheckResult& before, std::string_view line,
                          std::string_view train) {
  Model after;
  after.line_name = before.model.line_name;
  after.train_number = before.model.train_number;
  SourceViews sources{line, train};
  const BuildOutcome outcome =
      compile_scenario(after, before.model.write_line_file, sources);
  return SameFiles::of(before.model, before.error_exit, after,
                       outcome.error_exit);
}

std::string apply_edits(std::string_view bytes,
                        std::span<const SourceEdit> edits) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t at = 0;
  for (const SourceEdit& e : edits) {
    out.append(bytes.substr(at, e.begin - at));
    out += e.text;
    at = e.end;
  }
  out.append(bytes.substr(at));
  return out;
}

FormatResult format_sources(std::string_view line_text,
                            std::string_view train_text,
                            std::string_view line_name,
                            std::string_view train_number) {
  return format_sources(line_text, train_text,
                        check_sources(line_text, train_text, line_name,
                                      train_number, first_compile_only()));
}

FormatResult format_sources(std::string_view line_text,
                            std::string_view train_text,
                            const CheckResult& before) {
  FormatResult result;
  result.line = SourceFormatter(before.account.line, line_text).run();
  result.train = SourceFormatter(before.account.train, train_text).run();
  if (result.line.already_formatted() && result.train.already_formatted()) {
    return result;
  }
  const std::string line_after = apply_edits(line_text, result.line.edits);
  const std::string train_after = apply_edits(train_text, result.train.edits);
  if (!compiles_to_the_same(before, line_after, train_after)) {
    for (FormattedSource* s : {&result.line, &result.train}) {
      if (s->edits.empty()) continue;
      s->edits.clear();
      s->left.push_back({0, "formatted, it would compile to other bytes"});
    }
  }
  return result;
}

}  // namespace scenc::tools
