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

#include "compiler/compile_observer.h"
#include "compiler/field_reader.h"
#include "compiler/keywords.h"
#include "compiler/mountain_rows.h"
#include "compiler/source_store.h"
#include "model/faults.h"
#include "model/track_model.h"

namespace scenc {

// The cursors of the line stage, carried from row to row and into its
// closing fills, and the progressive rows the train stage checks last.
struct LineState {
  // The length of the last accepted length row, until the general section
  // ends and the grid and plan are allocated for it.
  std::optional<std::int32_t> pending_length;
  std::int64_t profile_cursor = 2;
  std::int64_t gradient_cursor = 0;
  std::int32_t previous_gradient = 0;
  std::int32_t sign_slot_cursor = kFirstSignboardSlot;
  std::int64_t mountain_counter = 0;
  std::int32_t previous_mountain_end = 0;
  // The mountain rows read so far, applied to the grid when the body ends,
  // however it ends.
  MountainRows mountains;
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
};

// A fault that points at the keyword field rather than one of the numbers.
inline constexpr int kKeywordField = -1;

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

struct CompileRun {
  CompileRun(Model& model, SourceStore& sources,
             CompileObserver* observer = nullptr)
      : model(model), sources(sources), observer(observer) {}

  Model& model;
  SourceStore& sources;
  // Sees what the compile reads; null for a build.
  CompileObserver* observer;

  // Which sources have been found and let go, for the general failure.
  bool line_found = false;
  bool line_removed = false;
  bool train_removed = false;

  std::string bytes;  // the source being compiled
  FieldReader reader{std::string_view{}};
  SourceKind source = SourceKind::kNone;
  CurrentRow current;
  LineState line;
  TrainState train;

  // Starts reading `text` as `which` source.
  void begin_source(SourceKind which, std::string text);
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
    const T v = reader.read_number<T>();
    note_field(field_type_of<T>());
    return v;
  }
  std::string_view text() {
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
  // N, the highest cell index; no grid is the general failure.
  std::int64_t last_cell() const;
  // The range rule: (p + offset) / 50 must not exceed N.
  bool in_range(std::int64_t p, std::int64_t offset = 100) const {
    return p + offset <= 50 * last_cell();
  }
  // Why a row at `p` failed the range rule: none when `p` itself is out of
  // range, or its marks that would leave the grid.
  FaultCauseDetail range_cause(std::int64_t p) const {
    if (!in_range(p)) return {};
    return {FaultCause::kMarksOutsideGrid, std::nullopt, 0, last_cell()};
  }

  // Records fault `code`, raised by the current row: it points at the row's
  // field `field` (an index into the keyword's field list), records
  // `position` in metres into `error_position` when given, and for a fault
  // on a taken cell notes `cell` and the row that placed what stands there.
  // Returns what the loop does next, as the fault table says: a fault that
  // ends the compile lets the source go first and ends the call; one that
  // skips the rest of the source stops the rows; any other goes on.
  // `cause` names the cause where the number stands for several.
  Flow raise(std::int32_t code, int field = kKeywordField,
             std::optional<std::int32_t> position = std::nullopt,
             std::optional<std::int64_t> cell = std::nullopt,
             FaultCauseDetail cause = {});
  // Records fault `code` for an earlier row `origin`, pointing at `field`.
  void raise_for(std::int32_t code, const SourceRow& origin, SourcePlace field);
  // Records the general failure with its cause. A read that began when no
  // byte was left points at the end of the source; one inside a row is the
  // source ending inside that row.
  void raise_general_failure(const GeneralFailure& failure);

  // Notes that the current row placed a mark on `cell` from its field
  // `field`, so that later faults about the cell can point at the row.
  void placed(std::int64_t cell, int field);

 private:
  // Notes where the field just read stands and the type it was read as.
  void note_field(FieldType type) {
    const std::size_t i = current.read++;
    current.row.end = reader.field_end();
    if (i < kMostFields) {
      current.fields[i] =
          ReadField{reader.field_line(), reader.field_column(), type};
    }
    if (observer != nullptr) observer->field_read(i, type, last_span());
  }
  ReadSpan last_span() const {
    return ReadSpan{reader.field_line(), reader.field_column(),
                    reader.field_begin(), reader.field_end()};
  }
  FaultRecord record_of(std::int32_t code) const;

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
// value that does not fit is the general failure.
template <typename T>
T checked(std::int64_t v) {
  if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max()) {
    throw failure_of(FaultCause::kValueTooLarge, v,
                     std::numeric_limits<T>::min(),
                     std::numeric_limits<T>::max());
  }
  return static_cast<T>(v);
}
// The low 16 or 8 bits of an exact result, as stored into narrower fields.
inline std::int16_t wrap16(std::int64_t v) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
}
inline std::uint8_t wrap8(std::int64_t v) { return static_cast<std::uint8_t>(v); }

// A text stored into a slot's name, whose length must fit its 16-bit field.
std::string slot_text(std::string_view text);

}  // namespace scenc
