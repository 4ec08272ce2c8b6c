// The faults of a build: the table of every fault (from faults.def, its one
// home), and the record of one fault as the compile or the finishing pass
// raised it, with the places in the sources that it points at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>

namespace scenc {

// Which source a fault or a row came from.
enum class SourceKind : std::uint8_t { kNone, kLine, kTrain };

// A place in a source text: 1-based line and column (in bytes) of a field.
struct SourcePlace {
  SourceKind source = SourceKind::kNone;
  std::int64_t line = 0;
  std::int64_t column = 0;

  bool known() const { return source != SourceKind::kNone; }
  bool operator==(const SourcePlace&) const = default;
};

// A row of a source as it was compiled: the place of its keyword field, and
// its bytes from the keyword field's first byte up to just after the last
// field its handler read (separators excluded), so that the row can be found
// again, or blanked, in the source text.
struct SourceRow {
  SourcePlace keyword;
  std::size_t begin = 0;
  std::size_t end = 0;

  bool operator==(const SourceRow&) const = default;
};

// A mark a source row placed on the grid: the cell, the row, and the field of
// the row that placed it (its position).
struct CellPlacement {
  std::int32_t cell = 0;
  SourceRow row;
  SourcePlace field;
};

// What a fault does to the run.
enum class FaultEnding : std::uint8_t {
  kEndsCompile,        // the source is let go and the compile ends at once
  kSkipsRestOfSource,  // the rest of the source is skipped; its closing
                       // steps and what follows run
  kGoesOn,             // recorded, and the run goes on
  kErrorExit,          // the build stops at the error exit, no binary file
};

// One row of the fault table.
struct FaultInfo {
  std::int32_t code;
  std::string_view name;  // stable, kebab-case
  SourceKind source;      // where the rows that raise it are written
  FaultEnding ending;
  std::string_view points_at;  // the row and field a diagnostic points at
  std::string_view message;    // one line an author reads
};

// The fault numbers by name: fault::kStationPosition is 8.
namespace fault {
#define FAULT(code, constant, name, source, ending, points_at, message) \
  inline constexpr std::int32_t constant = code;
#include "model/faults.def"
#undef FAULT
}  // namespace fault

inline constexpr FaultInfo kFaults[] = {
#define FAULT(code, constant, name, source, ending, points_at, message) \
  {code, name, SourceKind::source, FaultEnding::ending, points_at, message},
#include "model/faults.def"
#undef FAULT
};

// The table's row for `code`, or null for a number no build raises.
constexpr const FaultInfo* find_fault(std::int32_t code) {
  for (const FaultInfo& f : kFaults) {
    if (f.code == code) return &f;
  }
  return nullptr;
}

namespace fault_table_checks {
constexpr bool is_kebab_case(std::string_view s) {
  if (s.empty() || s.front() == '-' || s.back() == '-') return false;
  for (const char c : s) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) {
      return false;
    }
  }
  return true;
}
constexpr bool well_formed() {
  for (std::size_t i = 0; i < std::size(kFaults); ++i) {
    const FaultInfo& f = kFaults[i];
    if (!is_kebab_case(f.name) || f.message.empty() || f.points_at.empty()) {
      return false;
    }
    if (i > 0 && kFaults[i - 1].code >= f.code) return false;
    for (std::size_t j = 0; j < i; ++j) {
      if (kFaults[j].name == f.name) return false;
    }
  }
  return true;
}
}  // namespace fault_table_checks
static_assert(fault_table_checks::well_formed(),
              "fault numbers ascend, names are unique kebab-case, and every "
              "fault has a message and a place it points at");

// Why a fault was raised and the limit it crossed, so that a diagnostic can
// name what happened with the compile's own numbers. A fault number that
// stands for several causes (the general failure, fault 103, a position
// outside the grid, the two ways stations meet) has one of each.
enum class FaultCause : std::uint8_t {
  kNone,
  kNumberTooLarge,    // a number read does not fit the field it is read into
  kValueTooLarge,     // a value computed from a row does not fit its field
  kEndInsideRow,      // the source ends inside a row
  kReadPastEnd,       // a read began at the end of the source
  kNoTrackCells,      // a body row, or the closing steps, before any length row
  kCellOutsideGrid,   // a cell outside the grid was asked for
  kNoSignboardSlot,   // a signboard beyond the 81 slots of the texts
  kTextTooLong,       // a text longer than a slot name holds
  kSourceUnreadable,  // a source that could not be read
  kSourceNotRemoved,  // a source that could not be let go
  kUnexpected,        // anything else
  kCurveWithoutClass,  // a curve keyword without a class digit 1 to 6
  kProfileTooLong,     // a curve that carries the profile past the longest line
  kMarksOutsideGrid,   // a row in range whose marks would leave the grid
  kBeyondRange,      // a position past the greatest accepted (`highest`)
  kOutOfRange,       // a value outside `lowest` to `highest`
  kNotOnStep,        // a value between the multiples `lowest` and `highest`
  kCellTaken,        // a cell holding an object of the kind `value`
  kTooManyStations,  // station `value`, where `highest` fit beside `lowest`
                     // signboard texts
  kStationsOverlap,  // an extent from `value` m, before `lowest` m
  kStationsTooClose,  // an extent from `value` m, less than 350 m after `lowest` m
  kStationEndsEarly,  // an extent ending at `value` m, at most `highest` m
  kSpeedCode,         // a speed whose code `value` does not fit 0 to 255
  kStampFieldTaken,   // a stamp or code field already holding `value`
  kStampCellMarked,   // the same, from a mark the finishing pass placed
};

// The details of a cause: the value that did not fit or went too far, and
// the range it had to keep to.
struct FaultCauseDetail {
  FaultCause cause = FaultCause::kNone;
  std::optional<std::int64_t> value;
  std::int64_t lowest = 0;
  std::int64_t highest = 0;

  bool operator==(const FaultCauseDetail&) const = default;
};

// One fault as it was raised. Only the compile's own records and side
// vectors hold this; nothing of it reaches the files.
struct FaultRecord {
  std::int32_t code = 0;
  // The position in metres, for the faults that record one.
  std::optional<std::int32_t> position;
  // Where scenarioc's diagnostics point: the keyword field of the row that
  // raised the fault (for the general failure, the last field read).
  SourcePlace place;
  // The field that raised the fault, at its real line and column.
  SourcePlace field;
  // The row that raised it, with its bytes in the source. Empty when the
  // fault arose outside a row (the closing steps, the end of a preamble).
  SourceRow row;
  FaultEnding ending = FaultEnding::kGoesOn;
  // For a fault on a taken cell: the cell, and the row that placed what
  // stands there (when a source row did); for stations too close, the
  // previous station's row.
  std::optional<std::int32_t> cell;
  std::optional<CellPlacement> placed;
  // Why, for the faults whose number stands for several causes.
  FaultCauseDetail cause;
};

}  // namespace scenc
