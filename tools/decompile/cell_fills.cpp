#include "tools/decompile/cell_fills.h"

#include <algorithm>

namespace scenc::tools {

std::vector<FillRow> fill_rows(const std::vector<std::uint8_t>& values,
                               std::uint8_t initial, bool row_at_start) {
  std::vector<FillRow> rows;
  const auto n = static_cast<std::int64_t>(values.size()) - 1;
  const auto at = [&](std::int64_t c) {
    return values[static_cast<std::size_t>(c)];
  };
  // The closing fill writes up to N - 3; the cells after hold a byte only
  // where rows at the last position carried the cursor on.
  std::int64_t last_written = n - 3;
  for (std::int64_t c = n - 2; c <= n; ++c) {
    if (at(c) != 0) last_written = c;
  }
  if (row_at_start || at(0) != initial) rows.push_back({0, at(0)});
  for (std::int64_t c = 1; c <= std::min(last_written, n - 3); ++c) {
    if (at(c) != at(c - 1)) rows.push_back({c, at(c)});
  }
  if (last_written >= n - 2) {
    // The first fills up to N - 3; each further one fills the cell at the
    // cursor with the value before it and moves on by one.
    for (std::int64_t c = n - 2; c <= last_written; ++c) {
      rows.push_back({n - 2, at(c)});
    }
  }
  return rows;
}

}  // namespace scenc::tools
