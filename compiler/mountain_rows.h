// The mountain rows of a line source, applied to the grid in one pass.
// A mountain row may cover the whole line, and a source may repeat such rows
// by the hundred thousand: written row by row that costs rows times cells.
// Each cell keeps only the type of the last mountain over it, and a marker
// only ever turns a cell that is still empty into a free one, so the rows can
// be noted as they come and applied together, with the same cells as a
// result. Internal to the compiler.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "model/track_model.h"

namespace scenc {

class MountainRows {
 public:
  // Notes a mountain of type `type` over the cells `from` to `to` (both
  // inside the grid `cells`); with `markers`, every fourth cell counted from
  // the mountain's `first` cell (which may lie before the grid) becomes a
  // mountain marker where it is still empty. Applies what was noted first
  // when there are more rows than cells, so that what is held never
  // outgrows the grid.
  void add(std::span<TrackCell> cells, std::int64_t first, std::int64_t from,
           std::int64_t to, std::uint8_t type, bool markers);

  // Applies every row noted, as if each had been written in its turn. Boards
  // and signboards written meanwhile stay: they take a cell whether it holds
  // a marker or not, and a marker never replaces them. Allocates nothing, so
  // that it can run on the way out of a compile that failed.
  void apply(std::span<TrackCell> cells) noexcept;

 private:
  struct Row {
    std::int32_t first_marker;  // the first cell that gets a marker
    std::int32_t last_marker;   // the last one, 4 cells apart from the first
    std::int32_t from;
    std::int32_t to;
    std::uint8_t type;
  };
  // Up to this many rows are written one after the other, each cell of
  // each; more are applied in one pass over the grid, with the room for it
  // taken once.
  static constexpr std::size_t kFewRows = 16;
  void make_room(std::size_t cell_count);

  std::vector<Row> rows_;
  // For each cell, the next cell from it on whose type is still to be set:
  // later rows go first and skip the cells they have set.
  std::vector<std::int32_t> next_unset_;
  // Marker rows as steps of 4 cells: +1 at a row's first marker, -1 one
  // step after its last; summed along each step, a cell is marked by the
  // rows whose count there is above 0.
  std::vector<std::int32_t> marker_steps_;
};

}  // namespace scenc
