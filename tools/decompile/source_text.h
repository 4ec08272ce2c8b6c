// The rows a decompile recovers, section by section, and their text: the
// layout of the embedded sources (a preamble, inizio_dati, the section
// headers in their order, one row a line with its columns aligned within
// its section), Windows-1252 bytes and CR LF line ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace scenc::tools {

struct RecoveredRow {
  std::string keyword;
  std::vector<std::int64_t> numbers;
  // A station name or signboard text, Windows-1252, written after the
  // numbers.
  std::optional<std::string> text;
  // A comment line (a keyword field holding "-") written before the row.
  std::string comment;

  bool operator==(const RecoveredRow&) const = default;
};

// A row of numbers alone, with no text and no comment.
inline RecoveredRow make_row(std::string keyword,
                             std::vector<std::int64_t> numbers) {
  return {std::move(keyword), std::move(numbers), std::nullopt, {}};
}

struct RecoveredSection {
  std::string header;               // "[pendenze]"
  std::vector<std::string> legend;  // comment lines under the header
  std::vector<RecoveredRow> rows;
};

struct RecoveredSource {
  // Lines before "inizio_dati" and "[generale]", which the compiler never
  // reads: a title and what the files could not tell.
  std::vector<std::string> preamble;
  std::vector<RecoveredSection> sections;  // "[generale]" first
};

// Whether `text` can stand as the last field of a row and read back as
// itself: bare when it holds no comma or line end and begins with neither
// a blank nor a double quote, else in double quotes when it holds none.
bool text_is_writable(const std::string& text);

// One row as text without alignment: "pendenza, 300, 4".
std::string row_text(const RecoveredRow& row);

// The whole source: preamble, sections and "[fine]", CR LF line ends.
std::string source_text(const RecoveredSource& source);

}  // namespace scenc::tools
