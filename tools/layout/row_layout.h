// The layout of a source's rows, as the embedded sources write a section: one
// row a line, its keyword and a comma, then its numbers, each right-aligned
// in a column shared by the rows of its keyword within the section, and a
// text (a station name, a signboard text) last.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace scenc::tools {

struct LaidRow {
  std::string keyword;               // without the comma after it
  std::vector<std::string> numbers;  // each as it is written
  std::optional<std::string> text;   // written as it stands, last
};

// The lines of one section's rows, in their order, without line ends: the
// keywords padded to the section's longest, each number column as wide as
// the widest number of that keyword's rows in it. No line ends in a blank
// unless its text does.
std::vector<std::string> aligned_rows(std::span<const LaidRow> rows);

}  // namespace scenc::tools
