#include "tools/source_rows.h"

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
// matches in turn, then whatever is left as text.
void read_fields(AuthorRow& row, std::string_view text, SourceKind source) {
  const std::string_view line = text.substr(row.begin, row.end - row.begin);
  const auto add = [&](std::size_t begin, std::size_t end,
                       std::string_view value, FieldType type) {
    RowField f;
    f.text = value;
    f.begin = row.begin + begin;
    f.end = row.begin + end;
    f.column = static_cast<std::int64_t>(begin) + 1;
    f.end_column = static_cast<std::int64_t>(end) + 1;
    f.type = type;
    row.fields.push_back(f);
    return &row.fields.back();
  };
  if (line.empty()) {
    // An empty line reads as one empty field.
    add(0, 0, {}, FieldType::kText);
    return;
  }
  FieldReader reader(line);
  const std::string_view keyword = reader.read_text_field();
  add(reader.field_begin(), reader.field_end(), keyword, FieldType::kText);

  if (row.part != SourcePart::kPreamble && !is_comment(keyword)) {
    for (const Keyword& k : keywords_of(source, row.part)) {
      if (k.matches(keyword)) row.keywords.push_back(&k);
    }
  }
  for (const Keyword* k : row.keywords) {
    for (std::size_t i = 0; i < k->fields.size() && !reader.at_end(); ++i) {
      const Field& field = k->fields[i];
      RowField* f = nullptr;
      if (field.type == FieldType::kText) {
        const std::string_view value = reader.read_text_field();
        f = add(reader.field_begin(), reader.field_end(), value, field.type);
      } else {
        reader.read_number_field();
        const std::size_t b = reader.field_begin();
        const std::size_t e = reader.field_end();
        f = add(b, e, line.substr(b, e - b), field.type);
      }
      f->keyword = k;
      f->field = &field;
      f->index = i;
    }
  }
  while (!reader.at_end() && row.fields.size() < kMostFieldsOfALine) {
    const std::string_view value = reader.read_text_field();
    add(reader.field_begin(), reader.field_end(), value, FieldType::kText);
  }
}

}  // namespace

std::span<const Keyword> keywords_of(SourceKind source, SourcePart part) {
  if (part == SourcePart::kPreamble) return {};
  if (source == SourceKind::kTrain) return kTrainKeywords;
  return part == SourcePart::kGeneral
             ? std::span<const Keyword>(kLineGeneralKeywords)
             : std::span<const Keyword>(kLineBodyKeywords);
}

const RowField* AuthorRow::field_at(std::int64_t column) const {
  for (const RowField& f : fields) {
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

SourceRows read_source_rows(std::string_view text, SourceKind source) {
  SourceRows out;
  out.source = source;
  out.text = text;
  SourcePart part = SourcePart::kPreamble;
  std::string_view section;
  std::size_t start = 0;
  std::int64_t line = 1;
  while (start < text.size()) {
    // A line ends at CR LF, or at a lone CR or LF.
    std::size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    AuthorRow row;
    row.line = line;
    row.begin = start;
    row.end = end;
    row.part = part;
    row.section = section;
    read_fields(row, text, source);

    const std::string_view first = row.fields.front().text;
    if (trim_blanks(first).empty() && row.fields.size() == 1) {
      row.kind = RowKind::kBlank;
    } else if (is_comment(first)) {
      row.kind = RowKind::kComment;
    } else if (is_section_header(first)) {
      row.kind = RowKind::kHeader;
    } else {
      row.kind = row.keywords.empty() ? RowKind::kOther : RowKind::kRow;
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
    out.rows.push_back(std::move(row));

    if (end < text.size()) {
      end +=
          (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
              ? 2
              : 1;
    }
    start = end;
    ++line;
  }
  return out;
}

}  // namespace scenc::tools
