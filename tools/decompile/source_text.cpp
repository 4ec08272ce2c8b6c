#include "tools/decompile/source_text.h"

#include "tools/layout/row_layout.h"

namespace scenc::tools {
namespace {

constexpr const char* kLineEnd = "\r\n";

bool needs_quotes(const std::string& text) {
  return text.find_first_of(",\r\n") != std::string::npos ||
         (!text.empty() && (text[0] == ' ' || text[0] == '"'));
}

std::string field_of(const std::string& text) {
  return needs_quotes(text) ? '"' + text + '"' : text;
}

// The row as the shared layout takes it: numbers in decimal, a text in
// quotes where it needs them.
LaidRow laid(const RecoveredRow& row) {
  LaidRow out{row.keyword, {}, std::nullopt};
  out.numbers.reserve(row.numbers.size());
  for (const std::int64_t n : row.numbers) out.numbers.push_back(std::to_string(n));
  if (row.text) out.text = field_of(*row.text);
  return out;
}

}  // namespace

bool text_is_writable(const std::string& text) {
  return !needs_quotes(text) || text.find('"') == std::string::npos;
}

std::string row_text(const RecoveredRow& row) {
  std::string out = row.keyword;
  for (std::size_t j = 0; j < row.numbers.size(); ++j) {
    out += ", " + std::to_string(row.numbers[j]);
  }
  if (row.text) out += ", " + field_of(*row.text);
  return out;
}

std::string source_text(const RecoveredSource& source) {
  std::string out;
  const auto line = [&out](const std::string& text) {
    out += text;
    out += kLineEnd;
  };
  for (const std::string& p : source.preamble) line(p);
  line("");
  line("inizio_dati");
  bool first = true;
  for (const RecoveredSection& section : source.sections) {
    if (!first) line("");
    first = false;
    line(section.header);
    for (const std::string& l : section.legend) line(l);
    std::vector<LaidRow> rows;
    rows.reserve(section.rows.size());
    for (const RecoveredRow& row : section.rows) rows.push_back(laid(row));
    const std::vector<std::string> aligned = aligned_rows(rows);
    for (std::size_t i = 0; i < aligned.size(); ++i) {
      if (!section.rows[i].comment.empty()) line(section.rows[i].comment);
      line(aligned[i]);
    }
  }
  line("[fine]");
  return out;
}

}  // namespace scenc::tools
