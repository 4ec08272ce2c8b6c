#include "tools/check/source_rows.h"

#include <algorithm>

#include "compiler/field_reader.h"

namespace scenc::tools {
namespace {

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  return s;
}

// The fields of one line, read with the compiler's field reader from the
// line's first byte: the keyword field, then the fields of each keyword it
// matches in turn, then whatever is left as text. They go to the end of
// `fields`.
class LineFields {
 public:
  LineFields(const AuthorRow& row, std::string_view text,
             std::vector<RowField>& fields)
      : begin_(row.begin),
        line_(text.substr(row.begin, row.end - row.begin)),
        reader_(line_),
        fields_(fields),
        first_(fields.size()) {}

  // The keyword field. An empty line reads as one empty field.
  std::string_view keyword() {
    if (line_.empty()) {
      add(0, 0, {});
      return {};
    }
    const std::string_view field = reader_.read_text_field();
    add(reader_.field_begin(), reader_.field_end(), field);
    return field;
  }
  // Whether the line holds more after the keyword field.
  bool more() const { return !reader_.at_end(); }
  // The fields after the keyword field, for the keywords it matches.
  void rest(std::span<const Keyword* const> matched) {
    for (const Keyword* k : matched) {
      for (std::size_t i = 0; i < k->fields.size() && !reader_.at_end(); ++i) {
        const Field& field = k->fields[i];
        const std::string_view value = field.type == FieldType::kText
                                           ? reader_.read_text_field()
                                           : reader_.read_number_token();
        RowField& f = add(reader_.field_begin(), reader_.field_end(), value);
        f.keyword = k;
        f.field = &field;
      }
    }
    while (!reader_.at_end() && count() < kMostFieldsOfALine) {
      const std::string_view value = reader_.read_text_field();
      add(reader_.field_begin(), reader_.field_end(), value);
    }
  }
  std::size_t count() const { return fields_.size() - first_; }

 private:
  RowField& add(std::size_t begin, std::size_t end, std::string_view value) {
    RowField& f = fields_.emplace_back();
    f.text = value;
    f.begin = begin_ + begin;
    f.end = begin_ + end;
    f.column = static_cast<std::int64_t>(begin) + 1;
    return f;
  }

  std::size_t begin_;
  std::string_view line_;
  FieldReader reader_;
  std::vector<RowField>& fields_;
  std::size_t first_;
};

// How many rows and fields `text` holds at most: a line at each line end
// and one after the last, and a field at each comma and line end (a number
// that ends at a blank makes one more, so the fields may yet grow).
struct Sizes {
  std::size_t rows = 1;
  std::size_t fields = 1;
};
Sizes sizes_of(std::string_view text) {
  std::size_t commas = 0;
  std::size_t line_ends = 0;
  // Counted in byte-wide sums over runs of 255 bytes, which the compiler
  // turns into vector compares: a pass over the source costs little.
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t stop = std::min(text.size(), i + 255);
    std::uint8_t run_commas = 0;
    std::uint8_t run_line_ends = 0;
    for (; i < stop; ++i) {
      const char c = text[i];
      run_commas += static_cast<std::uint8_t>(c == ',');
      run_line_ends += static_cast<std::uint8_t>((c == '\r') | (c == '\n'));
    }
    commas += run_commas;
    line_ends += run_line_ends;
  }
  return {line_ends + 1, commas + line_ends + 1};
}

}  // namespace

std::span<const Keyword> keywords_of(SourceKind source, SourcePart part) {
  if (part == SourcePart::kPreamble) return {};
  if (source == SourceKind::kTrain) return kTrainKeywords;
  return part == SourcePart::kGeneral
             ? std::span<const Keyword>(kLineGeneralKeywords)
             : std::span<const Keyword>(kLineBodyKeywords);
}

std::span<const RowField> SourceRows::fields_of(const AuthorRow& row) const {
  if (kept == KeptFields::kAll) return row.fields;
  const auto [at, fresh] = fields_read_later.try_emplace(row.line);
  if (fresh) {
    LineFields read(row, text, at->second);
    read.keyword();
    read.rest(row.keywords);
  }
  return at->second;
}

const RowField* SourceRows::field_at(const AuthorRow& row,
                                     std::int64_t column) const {
  for (const RowField& f : fields_of(row)) {
    if (f.column == column) return &f;
  }
  return nullptr;
}

const AuthorRow* SourceRows::row(std::int64_t line) const {
  if (line < 1 || static_cast<std::size_t>(line) > rows.size()) return nullptr;
  return &rows[static_cast<std::size_t>(line) - 1];
}

std::size_t SourceRows::offset(std::int64_t line, std::int64_t column) const {
  const AuthorRow* r = row(line);
  if (r == nullptr) return text.size();
  const std::size_t at = r->begin + static_cast<std::size_t>(
                                        std::max<std::int64_t>(column, 1) - 1);
  return std::min(at, text.size());
}

SourceRows read_source_rows(std::string_view text, SourceKind source,
                            KeptFields kept) {
  SourceRows out;
  out.source = source;
  out.text = text;
  out.kept = kept;
  if (text.empty()) return out;
  const Sizes sizes = sizes_of(text);
  out.most_fields = sizes.fields;
  out.rows.reserve(sizes.rows);
  out.all_fields.reserve(kept == KeptFields::kAll ? sizes.fields : sizes.rows);
  out.all_keywords.reserve(sizes.rows);
  SourcePart part = SourcePart::kPreamble;
  std::string_view section;
  std::size_t start = 0;
  std::int64_t line = 1;
  while (start < text.size()) {
    // A line ends at CR LF, or at a lone CR or LF.
    std::size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    AuthorRow& row = out.rows.emplace_back();
    row.line = line;
    row.begin = start;
    row.end = end;
    row.part = part;
    row.section = section;
    const std::size_t first_field = out.all_fields.size();
    LineFields read(row, text, out.all_fields);
    const std::string_view first = read.keyword();
    const std::size_t first_keyword = out.all_keywords.size();
    if (row.part != SourcePart::kPreamble && !is_comment(first)) {
      for (const Keyword& k : keywords_of(source, row.part)) {
        if (k.matches(first)) out.all_keywords.push_back(&k);
      }
    }
    const std::span<const Keyword* const> matched =
        std::span<const Keyword* const>(out.all_keywords)
            .subspan(first_keyword);
    const bool more = read.more();
    if (kept == KeptFields::kAll) read.rest(matched);
    // For now the lists' places may yet move as they grow: the rows keep
    // only how much of them they take, and look into them at the end.
    row.fields = std::span<const RowField>(out.all_fields)
                     .subspan(first_field, read.count());
    row.keywords = matched;

    if (trim_blanks(first).empty() && !more) {
      row.kind = RowKind::kBlank;
    } else if (is_comment(first)) {
      row.kind = RowKind::kComment;
    } else if (is_section_header(first)) {
      row.kind = RowKind::kHeader;
    } else {
      row.kind = matched.empty() ? RowKind::kOther : RowKind::kRow;
    }

    // A header opens its section: "[generale]" ends the preamble, and in the
    // line source the first other header ends the general section.
    if (row.kind == RowKind::kHeader || part == SourcePart::kPreamble) {
      if (part == SourcePart::kPreamble) {
        if (contains_ignoring_case(first, kGeneralHeader)) {
          part = source == SourceKind::kTrain ? SourcePart::kBody
                                              : SourcePart::kGeneral;
          section = trim_blanks(first);
          row.part = part;
          row.section = section;
        }
      } else {
        if (source == SourceKind::kLine && part == SourcePart::kGeneral) {
          part = SourcePart::kBody;
        }
        section = trim_blanks(first);
        row.part = part;
        row.section = section;
      }
    }

    if (end < text.size()) {
      end +=
          (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
              ? 2
              : 1;
    }
    start = end;
    ++line;
  }
  std::span<const RowField> fields(out.all_fields);
  std::span<const Keyword* const> keywords(out.all_keywords);
  for (AuthorRow& row : out.rows) {
    row.fields = fields.first(row.fields.size());
    row.keywords = keywords.first(row.keywords.size());
    fields = fields.subspan(row.fields.size());
    keywords = keywords.subspan(row.keywords.size());
  }
  return out;
}

}  // namespace scenc::tools
