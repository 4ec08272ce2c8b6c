#include "tools/layout/row_layout.h"

#include <algorithm>
#include <map>

namespace scenc::tools {
namespace {

// Column widths of the rows of one keyword in a section: the longest
// keyword of the section, and each number column's widest number, so that
// the rows line up.
struct Widths {
  std::size_t keyword = 0;
  std::vector<std::size_t> numbers;
};

std::map<std::string, Widths> widths_of(std::span<const LaidRow> rows) {
  std::map<std::string, Widths> by_keyword;
  std::size_t keyword = 0;
  for (const LaidRow& row : rows) {
    keyword = std::max(keyword, row.keyword.size());
    Widths& w = by_keyword[row.keyword];
    if (w.numbers.size() < row.numbers.size()) {
      w.numbers.resize(row.numbers.size(), 0);
    }
    for (std::size_t j = 0; j < row.numbers.size(); ++j) {
      w.numbers[j] = std::max(w.numbers[j], row.numbers[j].size());
    }
  }
  for (auto& [word, w] : by_keyword) w.keyword = keyword;
  return by_keyword;
}

// A number field absorbs the blanks before it and ends at the comma after
// it; no line ends in a blank, which would read as one more, empty field.
std::string aligned_row(const LaidRow& row, const Widths& w) {
  std::string out = row.keyword + ",";
  out.append(w.keyword - row.keyword.size(), ' ');
  for (std::size_t j = 0; j < row.numbers.size(); ++j) {
    const std::string& n = row.numbers[j];
    out += ' ';
    out.append(w.numbers[j] - n.size(), ' ');
    out += n;
    if (j + 1 < row.numbers.size() || row.text) out += ',';
  }
  if (row.text) out += ' ' + *row.text;
  return out;
}

}  // namespace

std::vector<std::string> aligned_rows(std::span<const LaidRow> rows) {
  const auto widths = widths_of(rows);
  std::vector<std::string> lines;
  lines.reserve(rows.size());
  for (const LaidRow& row : rows) {
    lines.push_back(aligned_row(row, widths.at(row.keyword)));
  }
  return lines;
}

}  // namespace scenc::tools
