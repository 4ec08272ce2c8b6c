#include "tools/decompile/mountains.h"

#include <algorithm>
#include <set>

#include "compiler/distances.h"

namespace scenc::tools {
namespace {

// Cells first..last of one type, with a marker on every fourth.
struct Stretch {
  std::int64_t first;
  std::int64_t last;
  std::uint8_t type;
  bool markers;
};

constexpr std::uint8_t kJoinedType = 3;

std::int64_t floor_to_50(std::int64_t metres) {
  return (metres >= 0 ? metres : metres - (kCellLength - 1)) / kCellLength *
         kCellLength;
}

// The type as a row writes it: above 10 a row stores it less 10 with
// markers, and only the low 8 bits are kept.
std::int64_t tipo_of(std::uint8_t type, bool markers) {
  if (markers) return type == 0 ? 266 : type + 10;
  return type <= 10 ? type : type - 256;
}

// The marker cells a row over first..last places: every fourth, counted
// from its first cell.
bool markers_fit(const std::vector<TrackCell>& cells, std::int64_t first,
                 std::int64_t last, const std::set<std::int64_t>& wanted) {
  bool any = false;
  for (std::int64_t c = first + 3; c <= last; c += 4) {
    // A marker goes on a cell still empty when the line's rows are done;
    // one that stays empty had none.
    if (cells[static_cast<std::size_t>(c)].kind == cell_kind::kFree) {
      return false;
    }
    any = any || wanted.count(c) != 0;
  }
  for (std::int64_t c : wanted) {
    if (c >= first && c <= last && (c - first) % 4 != 3) return false;
  }
  return any;
}

// Maximal stretches of one non-zero type, each with its markers when one
// row can place them all; the markers left over are returned in `alone`.
std::vector<Stretch> stretches_of(const std::vector<TrackCell>& cells,
                                  std::set<std::int64_t>& alone) {
  std::vector<Stretch> out;
  const auto n = static_cast<std::int64_t>(cells.size());
  for (std::int64_t c = 0; c < n;) {
    const std::uint8_t type = cells[static_cast<std::size_t>(c)].mountain;
    std::int64_t end = c;
    while (end + 1 < n &&
           cells[static_cast<std::size_t>(end + 1)].mountain == type)
      ++end;
    if (type != 0) {
      const bool markers = markers_fit(cells, c, end, alone);
      if (markers) {
        for (std::int64_t m = c + 3; m <= end; m += 4) alone.erase(m);
      }
      out.push_back({c, end, type, markers});
    }
    c = end + 1;
  }
  return out;
}

// The rows in order: a marker that no stretch's own row can place gets a
// row of four cells of its own, written first and painted over by the
// stretches after it. A stretch that begins on one of the last two cells,
// where no row may begin, is written from cell N - 2 before the others.
std::vector<Stretch> ordered(std::vector<Stretch> stretches,
                             const std::set<std::int64_t>& alone,
                             std::int64_t last_start) {
  std::vector<Stretch> rows;
  for (std::int64_t c : alone) rows.push_back({c - 3, c, 0, true});
  std::vector<Stretch> late;
  for (const Stretch& s : stretches) {
    if (s.first > last_start)
      late.push_back({last_start, s.last, s.type, s.markers});
  }
  std::reverse(late.begin(), late.end());
  rows.insert(rows.end(), late.begin(), late.end());
  for (const Stretch& s : stretches) {
    if (s.first <= last_start) rows.push_back(s);
  }
  return rows;
}

}  // namespace

std::vector<MountainRow> mountain_rows(const std::vector<TrackCell>& cells) {
  std::set<std::int64_t> alone;
  for (std::size_t c = 0; c < cells.size(); ++c) {
    if (cells[c].kind == cell_kind::kMountainMarker) {
      alone.insert(static_cast<std::int64_t>(c));
    }
  }
  const auto last_cell = static_cast<std::int64_t>(cells.size()) - 1;
  const std::vector<Stretch> stretches =
      ordered(stretches_of(cells, alone), alone, last_cell - 2);

  std::vector<MountainRow> rows;
  // Whether the last row written may still end 1 m earlier on the same
  // cell, which moves it one metre further from the next.
  bool may_shorten = false;
  for (const Stretch& s : stretches) {
    MountainRow row{kCellLength * s.first,
                    kCellLength * (s.last + 1),
                    tipo_of(s.type, s.markers),
                    {}};
    if (!rows.empty() && s.type != kJoinedType &&
        row.inizio - rows.back().fine <= kMountainJoinGap) {
      if (may_shorten &&
          row.inizio - (rows.back().fine - 1) > kMountainJoinGap) {
        --rows.back().fine;
      } else {
        // A row that covers no cell and ends far enough before this one.
        const std::int64_t at =
            floor_to_50(row.inizio - kMountainJoinGap - kCellLength);
        rows.push_back({at, at, 0,
                        "- an empty stretch, so that the next does not join "
                        "the one before and keeps its type"});
      }
    }
    may_shorten = true;
    rows.push_back(row);
  }
  return rows;
}

}  // namespace scenc::tools
