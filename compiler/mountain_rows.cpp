#include "compiler/mountain_rows.h"

#include <algorithm>
#include <numeric>

namespace scenc {

void MountainRows::make_room(std::size_t cell_count) {
  if (next_unset_.size() == cell_count + 1) return;
  // Everything a later apply needs is taken here, where running out of
  // memory is an ordinary failure of the row.
  next_unset_.resize(cell_count + 1);
  marker_steps_.resize(cell_count + 4);
}

void MountainRows::add(std::span<TrackCell> cells, std::int64_t first,
                       std::int64_t from, std::int64_t to, std::uint8_t type,
                       bool markers) {
  if (from > to) return;
  if (rows_.size() == kFewRows) make_room(cells.size());
  if (rows_.size() > cells.size()) apply(cells);
  Row row{-1, -1, static_cast<std::int32_t>(from),
          static_cast<std::int32_t>(to), type};
  if (markers) {
    // Cells are counted from 1 at the mountain's first cell; every fourth
    // count is a marker.
    const std::int64_t count = from - first + 1;
    const std::int64_t first_marker = from + (4 - count % 4) % 4;
    if (first_marker <= to) {
      row.first_marker = static_cast<std::int32_t>(first_marker);
      row.last_marker =
          static_cast<std::int32_t>(first_marker + (to - first_marker) / 4 * 4);
    }
  }
  rows_.push_back(row);
}

void MountainRows::apply(std::span<TrackCell> cells) noexcept {
  if (rows_.empty()) return;
  if (rows_.size() <= kFewRows) {
    // A few rows are written in their turn, as cheap as they come.
    for (const Row& row : rows_) {
      for (std::int32_t c = row.from; c <= row.to; ++c) {
        cells[static_cast<std::size_t>(c)].mountain = row.type;
      }
      for (std::int32_t c = row.first_marker; c >= 0 && c <= row.last_marker;
           c += 4) {
        TrackCell& cell = cells[static_cast<std::size_t>(c)];
        if (cell.kind == cell_kind::kFree)
          cell.kind = cell_kind::kMountainMarker;
      }
    }
    rows_.clear();
    return;
  }
  const auto n = static_cast<std::int32_t>(cells.size());

  // Types: the last row over a cell sets it, so the rows go from the last
  // back, each setting only the cells no later row has set.
  std::iota(next_unset_.begin(), next_unset_.end(), 0);
  const auto find = [this](std::int32_t c) {
    while (next_unset_[static_cast<std::size_t>(c)] != c) {
      auto& link = next_unset_[static_cast<std::size_t>(c)];
      link = next_unset_[static_cast<std::size_t>(link)];
      c = link;
    }
    return c;
  };
  for (auto row = rows_.rbegin(); row != rows_.rend(); ++row) {
    for (std::int32_t c = find(row->from); c <= row->to; c = find(c + 1)) {
      cells[static_cast<std::size_t>(c)].mountain = row->type;
      next_unset_[static_cast<std::size_t>(c)] = c + 1;
    }
  }

  // Markers: only an empty cell takes one, whichever row marks it first.
  std::fill(marker_steps_.begin(), marker_steps_.end(), 0);
  for (const Row& row : rows_) {
    if (row.first_marker < 0) continue;
    ++marker_steps_[static_cast<std::size_t>(row.first_marker)];
    --marker_steps_[static_cast<std::size_t>(row.last_marker) + 4];
  }
  for (std::int32_t c = 0; c < n; ++c) {
    auto& marked = marker_steps_[static_cast<std::size_t>(c)];
    if (c >= 4) marked += marker_steps_[static_cast<std::size_t>(c) - 4];
    TrackCell& cell = cells[static_cast<std::size_t>(c)];
    if (marked > 0 && cell.kind == cell_kind::kFree) {
      cell.kind = cell_kind::kMountainMarker;
    }
  }
  rows_.clear();
}

}  // namespace scenc
