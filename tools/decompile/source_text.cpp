#include "tools/decompile/source_text.h"

#include <algorithm>
#include <map>

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

// Column widths of the rows of one keyword in a section: the longest
// keyword of the section, and each number column's widest number, so that
// the rows line up.
struct Widths {
  std::size_t keyword = 0;
  std::vector<std::size_t> numbers;
};

std::map<std::string, Widths> widths_of(const std::vector<RecoveredRow>& rows) {
  std::map<std::string, Widths> by_keyword;
  std::size_t keyword = 0;
  for (const RecoveredRow& row : rows) {
    keyword = std::max(keyword, row.keyword.size());
    Widths& w = by_keyword[row.keyword];
    if (w.numbers.size() < row.numbers.size()) {
      w.numbers.resize(row.numbers.size(), 0);
    }
    for (std::size_t j = 0; j < row.numbers.size(); ++j) {
      w.numbers[j] =
          std::max(w.numbers[j], std::to_string(row.numbers[j]).size());
    }
  }
  for (auto& [word, w] : by_keyword) w.keyword = keyword;
  return by_keyword;
}

// A number field absorbs the blanks before it and ends at the comma after
// it; no line ends in a blank, which would read as one more, empty field.
std::string aligned_row(const RecoveredRow& row, const Widths& w) {
  std::string out = row.keyword + ",";
  out.append(w.keyword - row.keyword.size(), ' ');
  for (std::size_t j = 0; j < row.numbers.size(); ++j) {
    const std::string n = std::to_string(row.numbers[j]);
    out += ' ';
    out.append(w.numbers[j] - n.size(), ' ');
    out += n;
    if (j + 1 < row.numbers.size() || row.text) out += ',';
  }
  if (row.text) out += ' ' + field_of(*row.text);
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
    const auto widths = widths_of(section.rows);
    for (const RecoveredRow& row : section.rows) {
      if (!row.comment.empty()) line(row.comment);
      line(aligned_row(row, widths.at(row.keyword)));
    }
  }
  line("[fine]");
  return out;
}

}  // namespace scenc::tools
