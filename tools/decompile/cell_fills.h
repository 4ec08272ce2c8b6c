// The rows of a table that fills the cells through a cursor: gradients,
// speed limits and adhesion. Each row fills the cells from the cursor up to
// the one before its own with the value of the row before it, and a closing
// fill carries the last value up to cell N - 3. A row at a cell behind the
// cursor still fills one cell, which is how the last cells of the grid are
// reached. Internal to the decompiler.
#pragma once

#include <cstdint>
#include <vector>

namespace scenc::tools {

struct FillRow {
  std::int64_t cell;   // the row stands at 50 x cell metres
  std::uint8_t value;  // the byte it gives the cells from there on
};

// Rows that, read in order, give the cells the bytes `values` (cells 0 to
// N): a row where the byte changes, one at cell 0 when the first byte is not
// `initial` (or always, with `row_at_start`), and rows at cell N - 2 for
// the cells beyond N - 3 that hold a byte.
std::vector<FillRow> fill_rows(const std::vector<std::uint8_t>& values,
                               std::uint8_t initial, bool row_at_start);

}  // namespace scenc::tools
