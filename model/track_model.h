// The in-memory model of one scenario: the per-metre plan of the line, the grid
// of 50 m track cells, the 87 scenario slots and the scalars of a build. The
// compiler fills it, the finishing pass completes it, the writer stores it.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/cell_kinds.h"
#include "model/faults.h"

namespace scenc {

// One 50 m cell of the track grid. Every field is also a field of the cell
// file, so widths and signedness are binding.
struct TrackCell {
  std::uint8_t kind = 0;  // the object on the cell, a cell_kind
  std::int16_t value1 = 0;
  std::int16_t value2 = 0;
  std::int16_t value3 = 0;
  std::int16_t value4 = 0;
  std::uint8_t signal_time = 0;
  std::uint8_t approach = 0;
  std::uint8_t mountain = 0;
  std::uint8_t speed_limit = 0;  // km/h divided by 5
  std::uint8_t gradient = 0;     // per mille plus 100
  std::uint8_t adhesion = 0;

  bool is_free() const {
    return kind == cell_kind::kFree || kind == cell_kind::kMountainMarker;
  }
  bool operator==(const TrackCell&) const = default;
};

// One of the 87 slots: a station, a signboard text, or one of the scenario's
// general records (81 to 86). `name` holds single-byte (Windows-1252) text.
struct ScenarioSlot {
  std::uint8_t kind = 0;
  std::int32_t num1 = 0;
  std::int32_t num2 = 0;
  std::int32_t num3 = 0;
  std::uint8_t flag = 0;
  std::string name;
  std::int16_t word1 = 0;
  std::int16_t word2 = 0;
  std::int16_t word3 = 0;
  std::int16_t word4 = 0;
  std::int16_t word5 = 0;
  std::uint8_t byte1 = 0;
  std::uint8_t byte2 = 0;
  std::uint8_t byte3 = 0;
  std::uint8_t byte4 = 0;
  std::int32_t num4 = 0;

  bool operator==(const ScenarioSlot&) const = default;
};

inline constexpr int kSlotCount = 87;
// A slot's name is stored after its 16-bit length.
inline constexpr std::size_t kLongestSlotName = 0xFFFF;
inline constexpr int kLineSlot = 85;   // line name, backgrounds, stamp, code
inline constexpr int kTrainSlot = 86;  // train number, signal repetition, sand, clock
inline constexpr int kConsistSlot = 84;
inline constexpr int kFirstSignboardSlot = 80;

// The longest line the compiler accepts, in metres.
inline constexpr std::int32_t kLongestLine = 1'000'000;
// The grid and the plan run this many metres beyond the end of the line.
inline constexpr std::int32_t kRunOut = 7000;
// The length of a track cell, in metres: a position p falls in cell
// round(p / 50 + 1), and a cell's object stands at (cell - 1) x 50 m.
inline constexpr int kCellLength = 50;

// The endings that, after `line_name` (and "_" `train_number` for a train's
// files), name the files of a scenario.
namespace file_ending {
inline constexpr std::string_view kLineSource = "_linea.txt";
inline constexpr std::string_view kTrainSource = "-.txt";
inline constexpr std::string_view kTimetableCard = "_scheda_treno.txt";
inline constexpr std::string_view kSlowOrderNotice = "_rallentamenti.txt";
inline constexpr std::string_view kNotes = "_note.txt";
inline constexpr std::string_view kLineGeometry = "_linea.dat";
inline constexpr std::string_view kSlotFile = ".sim";
inline constexpr std::string_view kCellFile = ".dat";
}  // namespace file_ending

// Draws the plan of a line metre by metre: each metre continues the step
// that led to the one before, turned by `turn` radians per metre. The pen
// holds the last two points drawn.
struct LinePen {
  double x0 = 0.0;  // the point two metres back
  double x1 = 0.0;  // the last point
  double y0 = 0.0;
  double y1 = 0.0;

  // Draws `count` metres and hands each point to `put(x, y)`, in order. The
  // sums are written out in this exact order, since the geometry file is
  // compared byte for byte.
  template <typename Put>
  void draw(std::int64_t count, double turn, Put&& put) {
    if (turn == 0.0) {
      for (; count >= kBlock; count -= kBlock) {
        if (!draw_exact_block(put)) draw_in_chain(kBlock, turn, put);
      }
    }
    draw_in_chain(count, turn, put);
  }

 private:
  // True when the `metres` points that the chain draws after `last`, on a
  // straight run whose step is `last` - `before`, are exact sums: `last`
  // plus k steps for the k-th, a non-zero finite step every time.
  static bool straight_is_exact(double before, double last, int metres);
  // True when a coordinate stands still: no step from `before` to `last`,
  // the same finite value that is not a negative zero. On a straight run
  // the chain then keeps it as it is, metre after metre, while the other
  // coordinate moves.
  static bool stands_still(double before, double last);

  static constexpr int kBlock = 32;

  // Each metre from the two before it: a chain of dependent additions.
  template <typename Put>
  void draw_in_chain(std::int64_t count, double turn, Put& put) {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    for (std::int64_t i = 0; i < count; ++i) {
      const double dx = x1 - x0;
      const double dy = y1 - y0;
      double x;
      double y;
      if (turn == 0.0 && std::fabs(dx) > 0.0 && std::fabs(dx) < kInfinity &&
          std::fabs(dy) > 0.0 && std::fabs(dy) < kInfinity) {
        // On a straight run the turn's product is a zero, and adding a zero
        // leaves a non-zero finite step exactly as it is: the same doubles,
        // with half the additions in the chain that carries metre to metre.
        x = x1 + dx;
        y = y1 + dy;
      } else {
        x = x1 + (dx + turn * dy);
        y = y1 + (dy - turn * dx);
      }
      put(x, y);
      x0 = x1;
      x1 = x;
      y0 = y1;
      y1 = y;
    }
  }

  // A block of a straight run without the chain. The chain holds the pen to
  // one metre per addition's latency; where its sums are exact (no metre of
  // the block leaves the doubles' grid of the two it starts from), metre k
  // is the last point plus k steps, and every metre is drawn at once.
  // Returns false, having drawn nothing, where the block is not exact.
  template <typename Put>
  bool draw_exact_block(Put& put) {
    const bool x_still = stands_still(x0, x1);
    const bool y_still = stands_still(y0, y1);
    if ((x_still && y_still) ||
        !(x_still || straight_is_exact(x0, x1, kBlock)) ||
        !(y_still || straight_is_exact(y0, y1, kBlock))) {
      return false;
    }
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    for (int k = 1; k <= kBlock; ++k) {
      put(x1 + static_cast<double>(k) * dx, y1 + static_cast<double>(k) * dy);
    }
    x0 = x1 + static_cast<double>(kBlock - 1) * dx;
    y0 = y1 + static_cast<double>(kBlock - 1) * dy;
    x1 = x1 + static_cast<double>(kBlock) * dx;
    y1 = y1 + static_cast<double>(kBlock) * dy;
    return true;
  }
};

// The plan of the line, metre by metre: for each metre 0..L+7000 and each
// coordinate (0 = x, 1 = y) a value that is empty, a 16-bit integer or a
// double. The tags are those the geometry file stores.
//
// A profile is held in one of two ways. A drawn profile (the compile's)
// keeps metres 0 and 1 and the runs it was drawn in, and computes the
// metres when they are written or read: the geometry file is encoded
// straight from the pen, and no array of metres ever exists. A profile set
// metre by metre (a file read back, a test) holds one tag byte and one
// double per element; a drawn profile turns into one when a metre from 2 on
// is set.
class LineProfile {
 public:
  enum class Tag : std::uint8_t { kEmpty = 0, kInt16 = 2, kDouble = 5 };

  // Creates metres 0..last_metre for both coordinates, all empty, with
  // storage for every element.
  void allocate(std::int64_t last_metre);
  // Creates metres 0..last_metre for both coordinates, all empty, to be
  // drawn: no storage per element.
  void allocate_drawn(std::int64_t last_metre);
  void release();
  bool exists() const { return metres_ != 0; }
  std::int64_t metre_count() const { return metres_; }

  Tag tag(int coordinate, std::int64_t metre) const;
  // The value as a double; an empty element reads as 0. A drawn metre is
  // drawn again from the start of the line to be read: a test's look, not a
  // walk over the line.
  double value(int coordinate, std::int64_t metre) const;
  void set_int16(int coordinate, std::int64_t metre, std::int16_t v) {
    set(coordinate, metre, v, Tag::kInt16);
  }
  void set_double(int coordinate, std::int64_t metre, double v) {
    set(coordinate, metre, v, Tag::kDouble);
  }

  // Draws the metres from `drawn_end()` up to `to` (inclusive, below
  // metre_count()) with `turn`, each from the two metres before it.
  void draw(std::int64_t to, double turn);
  // The first metre from 2 on that is not drawn.
  std::int64_t drawn_end() const { return drawn_end_; }

  // How far a drawn profile is drawn, to draw it back to: metres drawn
  // after a mark are undone by rewinding to it.
  struct Mark {
    std::size_t runs = 0;
    std::int64_t last = 0;  // of the last run then
    std::int64_t drawn_end = 2;
  };
  Mark mark() const;
  void rewind(const Mark& m);

  // A drawn profile: metres 0 and 1 as set, metres 2 up to drawn_end() - 1
  // drawn in runs, the rest empty.
  bool is_drawn() const { return values_.empty(); }
  struct Run {
    std::int64_t last;  // the last metre of the run
    double turn;
  };
  const std::vector<Run>& runs() const { return runs_; }
  // The pen at metre 2, before the first run.
  LinePen pen_at_start() const;

  // One coordinate's tags and values of a profile set metre by metre,
  // metre 0 first, for a walk over all metres in order. A value is
  // meaningful only where its tag is not empty.
  const std::uint8_t* tags_of(int coordinate) const {
    return tags_.data() + index(coordinate, 0);
  }
  const double* values_of(int coordinate) const {
    return values_.data() + index(coordinate, 0);
  }

  // Large arrays (the elements of a profile set metre by metre, and what
  // the geometry writer lays out) live in whole huge pages where the system
  // offers them: on a virtual machine every fresh page costs microseconds
  // to fault in. Throws std::bad_alloc.
  static void* allocate_large(std::size_t bytes);
  static void release_large(void* p, std::size_t bytes);

 private:
  // New doubles are left uninitialised: every metre set overwrites its
  // value, and the tags already say which values are empty.
  template <typename T>
  struct Storage {
    using value_type = T;
    Storage() = default;
    template <typename U>
    Storage(const Storage<U>&) {}
    T* allocate(std::size_t n) {
      return static_cast<T*>(allocate_large(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) { release_large(p, n * sizeof(T)); }
    template <typename U>
    void construct(U* p) {
      ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    friend bool operator==(const Storage&, const Storage&) { return true; }
  };

  std::size_t index(int coordinate, std::int64_t metre) const {
    return static_cast<std::size_t>(coordinate) *
               static_cast<std::size_t>(metres_) +
           static_cast<std::size_t>(metre);
  }
  // Inline, since a file read back sets two million of them.
  void set(int coordinate, std::int64_t metre, double v, Tag t) {
    if (is_drawn()) {
      set_drawn(coordinate, metre, v, t);
      return;
    }
    const std::size_t i = index(coordinate, metre);
    values_[i] = v;
    tags_[i] = static_cast<std::uint8_t>(t);
  }
  void set_drawn(int coordinate, std::int64_t metre, double v, Tag t);
  // Gives a drawn profile storage for every element, its runs drawn in.
  void store_every_metre();

  std::int64_t metres_ = 0;
  // Metres 0 and 1 of a drawn profile, by coordinate.
  Tag start_tags_[2][2] = {};
  double start_values_[2][2] = {};
  std::vector<Run> runs_;
  std::int64_t drawn_end_ = 2;
  std::vector<double, Storage<double>> values_;
  std::vector<std::uint8_t, Storage<std::uint8_t>> tags_;
};

// A mark of the finishing pass: its cell, the slow-order start or warning
// cell it was placed for, and whether it lowered an abbattimento that stood
// there already rather than placing one.
struct FinishingMark {
  std::int32_t cell = 0;
  std::int32_t slow_order_cell = 0;
  bool lowered = false;
};

struct Model {
  std::string line_name;
  std::string train_number;
  std::string input_line;
  std::int32_t error_code = 0;
  std::int32_t error_position = 0;
  std::int32_t write_line_file = 0;

  std::array<ScenarioSlot, kSlotCount> scenario_slots{};
  // Cells 0..N once the line length has been read; empty before.
  std::vector<TrackCell> track_cells;
  LineProfile line_profile;

  // Every fault the run raised, in order; `error_code` keeps only the last.
  std::vector<FaultRecord> fault_log;
  // The error exit the finishing pass stopped at (1250 or 1251), with the
  // row that put a value where the stamps go; it takes no place in
  // `error_code` or the log, which keep the compile's own faults.
  std::optional<FaultRecord> error_exit;
  // Every mark a source row placed on the grid, in the order placed (boards,
  // signboards, station markers, signals, slow-order cells, abbattimento
  // marks; not the mountain markers, which count as free cells), so that a
  // fault found later on or around a cell can point back at its row.
  std::vector<CellPlacement> row_of_cell;
  // Every abbattimento mark the finishing pass placed, or lowered to its
  // mark value where one stood already, in the order of the pass, with the
  // slow-order cell it was finishing: the row that placed that cell is the
  // slow order the mark belongs to.
  std::vector<FinishingMark> finishing_marks;

  bool has_track_cells() const { return !track_cells.empty(); }
  // N, the highest cell index; only meaningful when the cells exist.
  std::int32_t last_cell() const {
    return static_cast<std::int32_t>(track_cells.size()) - 1;
  }

  // Records a fault: `error_code` and, when the record has one,
  // `error_position` take its values, and the record is added to the log.
  void record_fault(const FaultRecord& fault);
  // The last placement on `cell`, or null when no source row placed a mark
  // there.
  const CellPlacement* placement_of(std::int32_t cell) const;

  // Clears the slots and sets `write_line_file`, `error_code` as a build
  // does before compiling.
  void clear_for_build(std::int32_t j);
  // Creates the grid and, when `write_line_file` is set, the profile for a
  // line of `length` metres, discarding earlier content.
  void allocate_for_length(std::int32_t length);
};

// Rounds num / den (den > 0) to the nearest integer, halves to even.
constexpr std::int64_t round_div_even(std::int64_t num, std::int64_t den) {
  std::int64_t q = num / den;
  std::int64_t r = num % den;
  if (r < 0) {
    r += den;
    q -= 1;
  }
  // Now num = q * den + r with 0 <= r < den.
  if (2 * r > den || (2 * r == den && (q % 2 != 0))) ++q;
  return q;
}

// The cell of a position: round(p / 50 + 1), halves to even.
constexpr std::int64_t cell_index(std::int64_t p) {
  return round_div_even(p + kCellLength, kCellLength);
}

// N for a line of `length` metres: round((L + 7000) / 50), halves to even.
constexpr std::int64_t last_cell_for_length(std::int64_t length) {
  return round_div_even(length + kRunOut, kCellLength);
}
// The last metre of the plan of a line of `length` metres.
constexpr std::int64_t last_metre_for_length(std::int64_t length) {
  return length + kRunOut;
}

// A line of length 0 still has cells 0 to 140 and metres 0 to 7000; the
// longest line has cells 0 to 20140 and metres 0 to 1,007,000.
inline constexpr std::int64_t kFewestCells = last_cell_for_length(0) + 1;
inline constexpr std::int64_t kMostCells =
    last_cell_for_length(kLongestLine) + 1;
inline constexpr std::int64_t kFewestMetres = last_metre_for_length(0) + 1;
inline constexpr std::int64_t kMostMetres =
    last_metre_for_length(kLongestLine) + 1;
static_assert(kFewestCells == 141 && kMostCells == 20141);
static_assert(kMostMetres == 1'007'001);

}  // namespace scenc
