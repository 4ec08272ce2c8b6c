// Decoders of the three compiled scenario files, the mirror of the writers in
// scenario_files.h. They read from bytes in memory and check every bound
// before they read, so a cut or malformed file gives one error that names the
// record at fault and its byte offset, for instance
// "cell 1780 at offset 26700: file ends after 3 of 15 bytes".
//
// The files carry no header and no count. A cut that falls between two
// records is therefore only seen when the line length is known (slot 84 of
// the slot file holds it): pass it whenever it is at hand.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/track_model.h"
#include "output/scenario_files.h"

namespace scenc {

// The largest file of each kind a build can write, in bytes: a reader may
// refuse a larger one before reading any of it.
inline constexpr std::int64_t kLargestCellFile =
    kMostCells * static_cast<std::int64_t>(kCellRecordSize);
inline constexpr std::int64_t kLargestSlotFile =
    kSlotCount *
    static_cast<std::int64_t>(kSlotRecordBaseSize + kLongestSlotName);
inline constexpr std::int64_t kLargestGeometryFile =
    2 * kMostMetres * static_cast<std::int64_t>(kLongestTaggedValue);

struct DecodeError {
  std::size_t offset = 0;  // where the record at fault starts
  std::string message;     // names the record and the offset
};

// The slot table as decoded from a slot file.
using SlotTable = std::array<ScenarioSlot, kSlotCount>;

// The line length recorded in slot 84, when it is one a build can have.
std::optional<std::int64_t> line_length_of(const SlotTable& slots);

// Decodes a cell file into `cells`. With `line_length`, the file must hold
// exactly the cells 0..N of that line.
std::optional<DecodeError> read_cell_file(
    std::string_view bytes, std::vector<TrackCell>& cells,
    std::optional<std::int64_t> line_length = std::nullopt);

// Decodes a slot file: exactly 87 records, nothing after them.
std::optional<DecodeError> read_slot_file(std::string_view bytes,
                                          SlotTable& slots);

// Decodes a line geometry file into `profile` (one flat array per field,
// never an object per element). Without `line_length` the metre count is
// half the number of values; with it, the file must hold exactly the metres
// 0..L+7000 of both coordinates.
std::optional<DecodeError> read_line_geometry_file(
    std::string_view bytes, LineProfile& profile,
    std::optional<std::int64_t> line_length = std::nullopt);

}  // namespace scenc
