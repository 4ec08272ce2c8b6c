// The state of one compile, shared by the line and train stages: the model,
// the sources, the reader of the source being compiled, the row being
// compiled and the cursors of each stage. Internal to the compiler.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "compiler/compile_observer.h"
#include "compiler/field_reader.h"
#include "compiler/keywords.h"
#include "compiler/memorizza_dati.h"
#include "compiler/mountain_rows.h"
#include "compiler/source_store.h"
#include "model/faults.h"
#include "model/track_model.h"

namespace scenc {

// The cursors of the line stage, carried from row to row and into its
// closing fills, and the progressive rows the train stage checks last.
struct LineCursors {
  // The length of the last accepted length row, until the general section
  // ends and the grid and plan are allocated for it.
  std::optional<std::int32_t> pending_length;
  std::int64_t profile_cursor = 2;
  std::int64_t gradient_cursor = 0;
  std::int32_t previous_gradient = 0;
  std::int32_t sign_slot_cursor = kFirstSignboardSlot;
  std::int64_t mountain_counter = 0;
  std::int32_t previous_mountain_end = 0;
  // The previous mountain's row, for the account of a mountain joined to
  // it; kept only for an observer.
  SourceRow previous_mountain_row;
  // The rows of the kilometric progressives as read ("tre", "due", "uno"),
  // so that a progressive found wrong later can point at its row and number.
  struct ProgressiveRow {
    SourceRow row;
    SourcePlace first_field;
    SourcePlace second_field;
    std::int32_t first = 0;
    std::int32_t second = 0;
  };
  std::array<ProgressiveRow, 3> progressive_rows{};
};

struct LineState : LineCursors {
  // The mountain rows read so far, applied to the grid when the body ends,
  // however it ends.
  MountainRows mountains;
};

// The cursors of the train stage.
struct TrainState {
  std::int32_t station = 1;  // slot of the next station
  std::int64_t speed_cursor = 0;
  std::int32_t current_speed = 0;
  // The row and field of the current speed, for a speed whose code does not
  // fit its cells: the fault is found when the next row fills them.
  SourceRow current_speed_row;
  SourcePlace current_speed_field;
  std::int64_t adhesion_cursor = 0;
  std::int32_t current_adhesion = 0;
  // The row and position field of the last station accepted, which a
  // station too close to it points at.
  SourceRow previous_station_row;
  SourcePlace previous_station_field;
};

// A field a handler read: where it begins and the type it was read as.
struct ReadField {
  std::int64_t line = 0;
  std::int64_t column = 0;
  FieldType type = FieldType::kInt32;
};

// The row being compiled: the keyword field read last, the table row whose
// handler runs (none between handlers), and each field the handler has read
// so far. Fixed in size: nothing is allocated per row.
struct CurrentRow {
  std::string_view text;  // the keyword field as read
  const Keyword* keyword = nullptr;
  SourceRow row;
  std::array<ReadField, kMostFields> fields{};
  std::size_t read = 0;

  // Whether the handler read exactly the fields its keyword lists, each as
  // the type listed.
  bool reads_match_table() const;
};

template <typename T>
constexpr FieldType field_type_of() {
  if constexpr (std::is_same_v<T, std::int32_t>) return FieldType::kInt32;
  if constexpr (std::is_same_v<T, std::int16_t>) return FieldType::kInt16;
  if constexpr (std::is_same_v<T, std::uint8_t>) return FieldType::kUint8;
}

// What a recovering compile undoes when it goes on past a fault: the cells
// and slots the rows of one keyword field touched, as they were before, and
// the cursors and lists they may have moved.
struct RowUndo {
  std::vector<std::pair<std::int64_t, TrackCell>> cells;
  std::vector<std::pair<std::int64_t, ScenarioSlot>> slots;
  LineCursors line;
  TrainState train;
  LineProfile::Mark plan;
  std::size_t placements = 0;
  bool active = false;
};

struct CompileRun {
  CompileRun(Model& model, SourceStore& sources,
             CompileObserver* observer = nullptr, bool recovering = false)
      : model(model),
        sources(sources),
        observer(observer),
        recovering(recovering) {}

  Model& model;
  SourceStore& sources;
  // Sees what the compile reads; null for a build.
  CompileObserver* observer;
  // Goes on past a fault of a row as if the row were not there, to find
  // the faults behind it; never for a build.
  const bool recovering;

  // Which sources have been found and let go, for the general failure.
  bool line_found = false;
  bool line_removed = false;
  bool train_removed = false;

  SourceText text;  // the source being compiled
  FieldReader reader{std::string_view{}};
  SourceKind source = SourceKind::kNone;
  CurrentRow current;
  LineState line;
  TrainState train;
  RowUndo undo;

  // Loads `which` source from the store; the status says whether it was had.
  SourceStore::Status load_source(SourceKind which);
  // Starts reading the source loaded last as `which` source.
  void begin_source(SourceKind which);
  // Starts reading `bytes` as `which` source (for tests of a stage).
  void begin_source(SourceKind which, std::string bytes) {
    text.hold(std::move(bytes));
    begin_source(which);
  }
  // Reads the next keyword field into `input_line` and notes its place.
  std::string_view read_keyword();
  // Reads the keyword field of the next body row into `keyword`. At most two
  // comments in a row are skipped; a third is examined like any other
  // field. False once the end of the source is reached: the field that
  // reaches it is never examined.
  bool next_body_keyword(std::string_view& keyword);
  // Lets go of a source; a source that cannot be removed is the general
  // failure.
  void remove_source(SourceKind which);

  // The handler of `keyword` begins on the keyword field read last; the
  // handler's reads are noted until `end_row`.
  void begin_row(const Keyword& keyword) {
    current.keyword = &keyword;
    current.read = 0;
    current.row.end = keyword_end_;
    if (observer != nullptr) observer->row_begins(keyword);
  }
  void end_row() {
    current.keyword = nullptr;
    if (observer != nullptr) observer->row_ends();
  }
  // The fields read from here on belong to `part` of the source.
  void begin_part(SourcePart part) {
    if (observer != nullptr) observer->part_begins(part);
  }

  // The next field of the current row, as a number of type T (one that does
  // not fit T is the general failure) or as text.
  template <typename T>
  T number() {
    T v;
    try {
      v = reader.read_number<T>();
    } catch (const GeneralFailure& failure) {
      // A number too large for its field was still read: it is the row's.
      if (!failure.past_end) note_field(field_type_of<T>());
      throw;
    }
    note_field(field_type_of<T>());
    return v;
  }
  std::string_view text_field() {
    const std::string_view v = reader.read_text_field();
    note_field(FieldType::kText);
    return v;
  }
  // Where field `index` of the current row stands (the keyword field for
  // kKeywordField or a field not read).
  SourcePlace field_place(int index) const;

  // The cell `i` of the grid; an index outside the grid is the general
  // failure.
  TrackCell& cell(std::int64_t i);
  // The slot `i`, which the current row may write.
  ScenarioSlot& slot(std::int64_t i);
  // N, the highest cell index; no grid is the general failure.
  std::int64_t last_cell() const;
  // The range rule: (p + offset) / 50 must not exceed N.
  bool in_range(std::int64_t p, std::int64_t offset = 100) const {
    return p + offset <= kCellLength * last_cell();
  }
  // Why a row at `p` failed the range rule with `offset`: the greatest
  // position accepted, or, for `p` in range, its `cell` that would leave
  // the grid.
  FaultCauseDetail range_cause(std::int64_t p, std::int64_t cell,
                               std::int64_t offset = 100) const {
    if (!in_range(p, offset)) {
      return {FaultCause::kBeyondRange, p, 0,
              kCellLength * last_cell() - offset};
    }
    return {FaultCause::kMarksOutsideGrid, cell, 0, last_cell()};
  }

  // Records fault `code`, raised by the current row: it points at the row's
  // field `field` (an index into the keyword's field list), records
  // `position` in metres into `error_position` when given, and for a fault
  // on a taken cell notes `cell`, what stands there and the row that placed
  // it. Returns what the loop does next, as the fault table says: a fault
  // that ends the compile lets the source go first and ends the call; one
  // that skips the rest of the source stops the rows; any other goes on.
  // `cause` names the cause and the limit crossed.
  // `related` is the earlier row the fault meets where no cell tells it.
  Flow raise(std::int32_t code, int field = kKeywordField,
             std::optional<std::int32_t> position = std::nullopt,
             std::optional<std::int64_t> cell = std::nullopt,
             FaultCauseDetail cause = {},
             std::optional<CellPlacement> related = std::nullopt);
  // Records fault `code` for an earlier row `origin`, pointing at `field`.
  void raise_for(std::int32_t code, const SourceRow& origin, SourcePlace field,
                 FaultCauseDetail cause = {});
  // Records the general failure with its cause. A read that began when no
  // byte was left points at the end of the source; one inside a row is the
  // source ending inside that row.
  void raise_general_failure(const GeneralFailure& failure);

  // Notes that the current row placed a mark on `cell` from its field
  // `field`, so that later faults about the cell can point at the row.
  void placed(std::int64_t cell, int field);

  // Tells an observer what the current row stored and decided.
  void stored(Store::Target target, std::int64_t first, std::int64_t last,
              std::string_view field, std::int64_t value,
              int from = kKeywordField) {
    if (observer != nullptr) {
      observer->stored(Store{target, first, last, field, value, from});
    }
  }
  void stored_in_cell(std::int64_t cell, std::string_view field,
                      std::int64_t value, int from = kKeywordField) {
    stored(Store::Target::kCells, cell, cell, field, value, from);
  }
  void stored_in_slot(std::int64_t slot, std::string_view field,
                      std::int64_t value, int from = kKeywordField) {
    stored(Store::Target::kSlot, slot, slot, field, value, from);
  }
  void decided(const Decision& decision) {
    if (observer != nullptr) observer->decided(decision);
  }
  // A value of field `field` kept as round(written / step): told when it
  // rounds.
  void rounded(int field, std::int64_t written, std::int64_t step,
               std::int64_t kept) {
    if (observer != nullptr && written % step != 0) {
      Decision d;
      d.kind = Decision::Kind::kRounded;
      d.field = field;
      d.written = written;
      d.step = step;
      d.value = kept;
      observer->decided(d);
    }
  }

  // For a recovering compile: notes the state before the rows of one
  // keyword field, and puts it back when they fail.
  void begin_undo();
  void undo_rows();

 private:
  // Notes where the field just read stands and the type it was read as.
  void note_field(FieldType type) {
    const std::size_t i = current.read++;
    current.row.end = reader.field_end();
    if (i < kMostFields) {
      current.fields[i] =
          ReadField{reader.field_line(), reader.field_column(), type};
    }
    if (observer != nullptr) tell_field(i, type);
  }
  void tell_field(std::size_t index, FieldType type);
  ReadSpan last_span() const {
    return ReadSpan{reader.field_line(), reader.field_column(),
                    reader.field_begin(), reader.field_end()};
  }
  FaultRecord record_of(std::int32_t code) const;
  void record(const FaultRecord& f);

  std::size_t keyword_end_ = 0;
};

// Compiles every row of `table` that the keyword field `keyword` matches, in
// order: the tests are not exclusive, so one field may compile several rows,
// each reading its own fields. Stops at the first row that does not go on.
Flow compile_rows(CompileRun& run, std::span<const Keyword> table,
                  std::string_view keyword);
// The body of a source: every row recognised wherever it stands, up to the
// end of the source or the first row that stops the rows. False when a fault
// ended the compile.
bool compile_body(CompileRun& run, std::span<const Keyword> table);


// The two stages of `memorizza_dati`. Each returns false when the compile
// ends with it.
bool compile_line_source(CompileRun& run);
bool compile_train_source(CompileRun& run);

// Stores a number computed from source values into a field of type T; a
// value that does not fit is the general failure, at the row's field
// `from` when given (the field whose value went too far).
template <typename T>
T checked(std::int64_t v, SourcePlace from = {}) {
  if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max()) {
    GeneralFailure failure =
        failure_of(FaultCause::kValueTooLarge, v,
                   std::numeric_limits<T>::min(),
                   std::numeric_limits<T>::max());
    failure.field = from;
    throw failure;
  }
  return static_cast<T>(v);
}
template <typename T>
T checked_from(const CompileRun& run, std::int64_t v, int field) {
  return checked<T>(v, run.field_place(field));
}
// The low 16 or 8 bits of an exact result, as stored into narrower fields.
inline std::int16_t wrap16(std::int64_t v) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
}
inline std::uint8_t wrap8(std::int64_t v) { return static_cast<std::uint8_t>(v); }

// Why `v` fails a rule of multiples of `step`: the multiples around it.
inline FaultCauseDetail off_step(std::int64_t v, std::int64_t step) {
  const std::int64_t below =
      v >= 0 ? v / step * step : -((-v + step - 1) / step * step);
  return {FaultCause::kNotOnStep, v, below, below + step};
}

// A text stored into a slot's name, whose length must fit its 16-bit field.
std::string slot_text(std::string_view text);

}  // namespace scenc
