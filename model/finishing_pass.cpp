#include "model/finishing_pass.h"

#include <optional>
#include <vector>

#include "model/scenario_codes.h"

namespace scenc {
namespace {

// The value every mark of this pass carries, and the ceiling it puts on an
// abbattimento already standing where it would go.
constexpr std::int32_t kMarkValue = 180;
// Slow orders at this speed or above get no marks between start and end.
constexpr std::int16_t kNoInnerMarksSpeed = 110;
// How far before a warning the signals are looked for.
constexpr std::int32_t kWarningLookBack = 20;
// Inner marks fall every this many cells.
constexpr std::int32_t kInnerMarkSpacing = 8;
// Cells searched for the first signal after a slow order, its end included.
constexpr std::int32_t kSignalSearchCells = 13;

constexpr std::int16_t kLineStamp = 610;
constexpr std::int16_t kCellStamp = 5121;

// The three look-back groups before a slow-order start: a group applies when
// the start lies beyond `bound`, and tries the cells `nearest`, `nearest` + 1
// and `nearest` + 2 before the start.
struct LookBackGroup {
  std::int32_t bound;
  std::int32_t nearest;
};
constexpr LookBackGroup kLookBackGroups[] = {{7, 5}, {13, 11}, {20, 18}};

class FinishingPass {
 public:
  explicit FinishingPass(Model& model)
      : model_(model), cells_(model.track_cells), last_(model.last_cell()) {}

  void run() {
    for (std::int32_t i = 1; i <= last_ - 2; ++i) {
      const std::uint8_t kind = cells_[i].kind;
      subject_ = i;
      if (kind == cell_kind::kSlowOrderWarning) {
        mark_signals_before_warning(i);
      } else if (kind == cell_kind::kSlowOrderStart) {
        mark_look_back_groups(i);
        const std::optional<std::int32_t> end =
            cells_[i].value1 < kNoInnerMarksSpeed ? mark_inside_slow_order(i)
                                                  : find_slow_order_end(i);
        if (end) mark_before_next_signal(i, *end);
      }
    }
  }

 private:
  // Cells outside 0..N count as taken, so no placement ever leaves the grid.
  bool exists(std::int32_t c) const { return c >= 0 && c <= last_; }
  bool is_free(std::int32_t c) const {
    return exists(c) && cells_[c].is_free();
  }
  bool has_kind(std::int32_t c, std::uint8_t kind) const {
    return exists(c) && cells_[c].kind == kind;
  }

  void mark(std::int32_t c) {
    cells_[c].kind = cell_kind::kAbbattimento;
    cells_[c].value1 = kMarkValue;
    model_.finishing_marks.push_back({c, subject_, false});
    if (c == kStampCell) stamp_cell_marked_for_ = subject_;
  }

 public:
  // The error exit `code`, found on the stamp field `value` (0 for one of
  // the slot's): recorded at the row that put it there, a mark of this pass
  // at the row of the slow order it was placed for. It does not take the
  // place of the compile's own fault in `error_code`.
  void record_error_exit(std::int32_t code, std::int64_t value) {
    FaultRecord f;
    f.code = code;
    f.ending = FaultEnding::kErrorExit;
    f.cell = kStampCell;
    f.cause = {FaultCause::kStampFieldTaken, value, 0, 0};
    const CellPlacement* origin = nullptr;
    if (value != 0 && stamp_cell_marked_for_) {
      f.cause.cause = FaultCause::kStampCellMarked;
      origin = placement_of(*stamp_cell_marked_for_);
    } else if (value != 0) {
      origin = placement_of(kStampCell);
    }
    if (origin != nullptr) {
      f.place = origin->row.keyword;
      f.field = origin->field;
      f.row = origin->row;
    }
    model_.error_exit = f;
  }

 private:

  void cap(std::int32_t c) {
    cells_[c].value1 =
        static_cast<std::int16_t>(minimo(kMarkValue, cells_[c].value1));
    model_.finishing_marks.push_back({c, subject_, true});
  }

  // Faults point back at the row that placed the main-loop cell `subject`,
  // and note the row that placed what stands on `cell`.
  void fault(std::int32_t code, std::int32_t cell, std::int32_t subject) {
    FaultRecord f;
    f.code = code;
    f.position = cell * kCellLength;
    f.ending = find_fault(code)->ending;
    f.cell = cell;
    if (const CellPlacement* origin = placement_of(subject)) {
      f.place = origin->row.keyword;
      f.field = origin->field;
      f.row = origin->row;
    }
    if (const CellPlacement* standing = placement_of(cell))
      f.placed = *standing;
    model_.record_fault(f);
  }

  // The last placement on cell `c`. Built on the first fault, so that a pass
  // with many faults still looks each one up at once and a clean pass
  // builds nothing.
  const CellPlacement* placement_of(std::int32_t c) {
    if (last_placement_.empty()) {
      last_placement_.assign(cells_.size(), -1);
      const auto& placements = model_.row_of_cell;
      for (std::size_t k = 0; k < placements.size(); ++k) {
        if (exists(placements[k].cell)) {
          last_placement_[static_cast<std::size_t>(placements[k].cell)] =
              static_cast<std::int32_t>(k);
        }
      }
    }
    if (!exists(c)) return nullptr;
    const std::int32_t k = last_placement_[static_cast<std::size_t>(c)];
    return k < 0 ? nullptr : &model_.row_of_cell[static_cast<std::size_t>(k)];
  }

  // Every signal in the cells before a warning gets an abbattimento just
  // before it; an abbattimento already there is lowered to the mark value.
  void mark_signals_before_warning(std::int32_t warning) {
    for (std::int32_t k = 1; k <= kWarningLookBack; ++k) {
      const std::int32_t d = warning - k;
      // Keeps d - 2 at cell 1 or above.
      if (d < 3) return;
      if (!has_kind(d, cell_kind::kSignal)) continue;
      if (is_free(d - 1)) {
        mark(d - 1);
      } else if (is_free(d - 2)) {
        mark(d - 2);
      } else if (has_kind(d - 1, cell_kind::kAbbattimento)) {
        cap(d - 1);
      } else if (has_kind(d - 2, cell_kind::kAbbattimento)) {
        cap(d - 2);
      } else {
        fault(fault::kNoMarkBeforeSignal, d, warning);
      }
    }
  }

  // One mark on the first free cell of each group; an abbattimento already in
  // a group does not count as its mark.
  void mark_look_back_groups(std::int32_t start) {
    for (const LookBackGroup& group : kLookBackGroups) {
      if (start <= group.bound) continue;
      bool marked = false;
      for (std::int32_t back = group.nearest; back <= group.nearest + 2;
           ++back) {
        if (is_free(start - back)) {
          mark(start - back);
          marked = true;
          break;
        }
      }
      if (!marked) fault(fault::kNoMarkBeforeSlowOrder, start, start);
    }
  }

  // Walks from the start to the end cell placing a mark every 8 cells,
  // counted from the last mark placed; when the 8th cell is taken its lower,
  // then its upper neighbour takes the mark. After a cell with no free
  // neighbour the count runs on past 8 and the walk places no more marks.
  // Returns the end cell, or nothing when the walk reaches N without one.
  std::optional<std::int32_t> mark_inside_slow_order(std::int32_t start) {
    std::int32_t w = start;
    std::int32_t r = 0;
    while (w < last_) {
      ++w;
      ++r;
      if (r == kInnerMarkSpacing) {
        if (is_free(w)) {
          mark(w);
          r = 0;
        } else if (is_free(w - 1)) {
          mark(w - 1);
          r = 1;
        } else if (is_free(w + 1)) {
          mark(w + 1);
          r = -1;
        } else {
          fault(fault::kNoMarkInsideSlowOrder, w, start);
        }
      }
      if (cells_[w].kind == cell_kind::kSlowOrderEnd) return w;
    }
    fault(fault::kNoMarkInsideSlowOrder, last_, start);
    return std::nullopt;
  }

  // A fast slow order gets no inner marks, but its end is still needed for
  // the mark before the next signal.
  std::optional<std::int32_t> find_slow_order_end(std::int32_t start) const {
    for (std::int32_t w = start + 1; w <= last_; ++w) {
      if (cells_[w].kind == cell_kind::kSlowOrderEnd) return w;
    }
    return std::nullopt;
  }

  // The first signal within 13 cells from the end gets a mark on the cell
  // before it, or on the one before that.
  void mark_before_next_signal(std::int32_t start, std::int32_t end) {
    for (std::int32_t s = end; s < end + kSignalSearchCells && s <= last_;
         ++s) {
      if (cells_[s].kind != cell_kind::kSignal) continue;
      const std::int32_t t = s - 1;
      if (is_free(t)) {
        mark(t);
      } else if (is_free(t - 1)) {
        mark(t - 1);
      } else {
        fault(fault::kNoMarkInsideSlowOrder, end, start);
      }
      return;
    }
  }

  static constexpr std::int32_t kStampCell = 1;

  Model& model_;
  std::vector<TrackCell>& cells_;
  const std::int32_t last_;
  // The main-loop cell being finished, and the one a mark on the stamp
  // cell was placed for.
  std::int32_t subject_ = 0;
  std::optional<std::int32_t> stamp_cell_marked_for_;
  // For each cell, the index of its last placement (-1: none), once built.
  std::vector<std::int32_t> last_placement_;
};

}  // namespace

std::int32_t minimo(std::int32_t x, std::int32_t y) { return x > y ? y : x; }

std::int32_t finish_track_cells(Model& model) {
  FinishingPass pass(model);
  pass.run();

  ScenarioSlot& line = model.scenario_slots[kLineSlot];
  TrackCell& stamp_cell = model.track_cells[1];
  // A stamp field already in use means something (a mark, a compiled row)
  // landed where the format marks and codes go; writing over it would hide
  // that, so the build stops instead.
  if (line.word1 != 0 || stamp_cell.value1 != 0) {
    pass.record_error_exit(fault::kStampTaken, stamp_cell.value1);
    return fault::kStampTaken;
  }
  line.word1 = kLineStamp;
  stamp_cell.value1 = kCellStamp;

  if (line.num4 != 0 || stamp_cell.value2 != 0) {
    pass.record_error_exit(fault::kCodeTaken, stamp_cell.value2);
    return fault::kCodeTaken;
  }
  line.num4 = codice_gara_st(model);
  stamp_cell.value2 = static_cast<std::int16_t>(codice_gara_og(model));
  return 0;
}

}  // namespace scenc
