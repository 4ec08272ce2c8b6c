// The state of one compile, shared by the line and train stages: the model,
// the sources, the reader of the source being compiled and the cursors that
// carry from row to row. Internal to the compiler.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "compiler/field_reader.h"
#include "compiler/memorizza_dati.h"
#include "compiler/source_store.h"
#include "model/track_model.h"

namespace scenc {

// What a row handler tells the loop that called it.
enum class Flow {
  kGoOn,       // next row
  kStopRows,   // a position failed the range rule: the rest of the source is
               // skipped, the closing steps still run
  kEndCall,    // a fault that ends the compile at once
};

// True when `field` holds `word` anywhere, ignoring the case of letters.
bool contains_ignoring_case(std::string_view field, std::string_view word);
inline bool contains(std::string_view field, std::string_view word) {
  return field.find(word) != std::string_view::npos;
}
// A comment is a keyword field with a "-" anywhere.
inline bool is_comment(std::string_view field) { return contains(field, "-"); }

struct CompileRun {
  CompileRun(Model& model, SourceStore& sources)
      : m(model), sources(sources) {}

  Model& m;
  SourceStore& sources;

  // Which sources have been found and let go, for the general failure.
  bool line_found = false;
  bool line_removed = false;
  bool train_removed = false;

  std::string bytes;  // the source being compiled
  FieldReader reader{std::string_view{}};
  SourceKind source = SourceKind::kNone;
  SourcePlace row;  // the keyword field of the row being compiled

  // The length of the last accepted length row, until the general section
  // ends and the grid and plan are allocated for it.
  std::optional<std::int32_t> pending_length;
  // Line stage cursors, carried into the closing fills.
  std::int64_t profile_cursor = 2;
  std::int64_t gradient_cursor = 0;
  std::int32_t previous_gradient = 0;
  std::int32_t sign_slot_cursor = kFirstSignboardSlot;
  std::int64_t mountain_counter = 0;
  std::int32_t previous_mountain_end = 0;
  // The rows of the kilometric progressives as read ("tre", "due", "uno"),
  // so that a progressive found wrong later can point at its row.
  struct ProgressiveRow {
    SourcePlace place;
    std::int32_t first = 0;
    std::int32_t second = 0;
  };
  std::array<ProgressiveRow, 3> progressive_rows{};

  // Starts reading `text` as `which` source.
  void begin_source(SourceKind which, std::string text);
  // Reads the next keyword field into `input_line` and notes its place.
  std::string_view read_keyword();
  // Lets go of a source; a source that cannot be removed is the general
  // failure.
  void remove_source(SourceKind which);

  // The cell `i` of the grid; an index outside the grid is the general
  // failure.
  TrackCell& cell(std::int64_t i);
  // N, the highest cell index; no grid is the general failure.
  std::int64_t last_cell() const;
  // The range rule: (p + offset) / 50 must not exceed N.
  bool in_range(std::int64_t p, std::int64_t offset = 100) const {
    return p + offset <= 50 * last_cell();
  }
  // Records a fault raised by the current row.
  void fault(std::int32_t code, std::optional<std::int32_t> position) {
    m.record_fault(code, position, row);
  }
  // A fault that ends the compile at once: the source being compiled is let
  // go first.
  Flow end_call(std::int32_t code,
                std::optional<std::int32_t> position = std::nullopt) {
    remove_source(source);
    fault(code, position);
    return Flow::kEndCall;
  }
  // A position beyond the grid: the rest of the source is skipped.
  Flow stop_rows(std::int32_t position) {
    fault(15, position);
    return Flow::kStopRows;
  }
  // Reads the keyword field of the next body row into `keyword`. At most two
  // comments in a row are skipped; a third is examined like any other
  // field. False once the end of the source is reached: the field that
  // reaches it is never examined.
  bool next_body_keyword(std::string_view& keyword);
};

// The two stages of `memorizza_dati`. Each returns false when the compile
// ends with it.
bool compile_line_source(CompileRun& run);
bool compile_train_source(CompileRun& run);

// Stores a number computed from source values into a field of type T; a
// value that does not fit is the general failure.
template <typename T>
T checked(std::int64_t v) {
  if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max()) {
    throw GeneralFailure{};
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
