// The rows of a source as its author wrote them: one per physical line, with
// the part of the source it stands in (preamble, general section, body), the
// section header above it, the keyword rows its first field matches, and its
// fields as the compiler's field reader splits the line when it reads it from
// its first byte. This is the author's view, line by line; where a row short
// of fields makes the compiler read on into the next line, the compile's own
// reads differ from it, and the author check reports where.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string_view>
#include <vector>

#include "compiler/keywords.h"
#include "model/faults.h"

namespace scenc::tools {

// One field of a row. A source holds thousands: what follows from the rest
// is worked out rather than kept.
struct RowField {
  std::string_view text;    // as the reader returns it (a quoted field without
                            // its quotes)
  std::int64_t column = 0;  // 1-based, in bytes, of its first byte
  std::size_t begin = 0;    // its bytes in the source
  std::size_t end = 0;
  // The field of a keyword's list it is read as, and that keyword; null for
  // the keyword field and the fields beyond the keyword's list.
  const Keyword* keyword = nullptr;
  const Field* field = nullptr;

  // 1-based column just after its last byte.
  std::int64_t end_column() const {
    return column + static_cast<std::int64_t>(end - begin);
  }
  // Its index in its keyword's list (0 where none holds it).
  std::size_t index() const {
    return field != nullptr
               ? static_cast<std::size_t>(field - keyword->fields.data())
               : 0;
  }
};

enum class RowKind : std::uint8_t {
  kBlank,    // nothing but blanks
  kComment,  // the first field holds a "-"
  kHeader,   // a section header: "[" and "]", not beginning with "-"
  kRow,      // the first field matches at least one keyword of its part
  kOther,    // a first field that matches nothing
};

// The most fields of one line kept for the check: a row takes at most 18,
// and a line of thousands of commas is a mistake told by its first ones.
inline constexpr std::size_t kMostFieldsOfALine = 64;

struct AuthorRow {
  std::int64_t line = 0;  // 1-based
  std::size_t begin = 0;  // the line's bytes, its line end excluded
  std::size_t end = 0;
  SourcePart part = SourcePart::kPreamble;
  std::string_view section;  // the header text above it, trimmed, or empty
  RowKind kind = RowKind::kBlank;
  // The rows of its part's table that the first field matches, in the order
  // the compiler compiles them.
  std::span<const Keyword* const> keywords;
  // fields[0] is the keyword field. Rows read for their keyword fields
  // alone hold that one: SourceRows::fields_of has them all.
  std::span<const RowField> fields;
};

// What read_source_rows keeps of each row: every field, or the keyword
// field alone, the others read when asked for (the author check looks at
// the fields of few rows, and a source holds tens of thousands).
enum class KeptFields : std::uint8_t { kAll, kKeywordField };

struct SourceRows {
  SourceRows() = default;
  // The rows look into the lists below, which a move keeps where they are
  // and a copy would not.
  SourceRows(SourceRows&&) = default;
  SourceRows& operator=(SourceRows&&) = default;
  SourceRows(const SourceRows&) = delete;
  SourceRows& operator=(const SourceRows&) = delete;

  SourceKind source = SourceKind::kNone;
  std::string_view text;
  std::vector<AuthorRow> rows;  // rows[i] is line i + 1

  // The row of a 1-based line, or null.
  const AuthorRow* row(std::int64_t line) const;
  // The byte offset of a 1-based line and column, clamped to the text.
  std::size_t offset(std::int64_t line, std::int64_t column) const;

  // Every field of `row`, one of these rows; where only the keyword fields
  // were kept, read on the first ask and kept from then on.
  std::span<const RowField> fields_of(const AuthorRow& row) const;
  // The field of `row` that begins at a 1-based column, or null.
  const RowField* field_at(const AuthorRow& row, std::int64_t column) const;

  KeptFields kept = KeptFields::kAll;
  // The fields and keywords of all rows, row after row: one list each
  // rather than two for every row.
  std::vector<RowField> all_fields;
  std::vector<const Keyword*> all_keywords;
  // How many fields the whole text holds at most, as read row by row (a
  // number that ends at a blank rather than a comma makes one more).
  std::size_t most_fields = 0;
  // The fields read when asked for, by line (so the rows are asked from one
  // thread at a time).
  mutable std::map<std::int64_t, std::vector<RowField>> fields_read_later;
};

// The table of keywords for a part of a source (empty for the preamble).
std::span<const Keyword> keywords_of(SourceKind source, SourcePart part);

// Splits `text` into its rows. `text` must outlive the result.
SourceRows read_source_rows(std::string_view text, SourceKind source,
                            KeptFields kept = KeptFields::kAll);

}  // namespace scenc::tools
