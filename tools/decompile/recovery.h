// What the parts of a decompile share: the decoded files, the notes found so
// far, and where each record of a file starts. Internal to the decompiler.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/decompile/decompile.h"

namespace scenc::tools {

class Recovery {
 public:
  explicit Recovery(const ScenarioSet& set);

  const ScenarioSet& set;
  // The cells as the compile left them, before the finishing pass stamped
  // the format mark and the scenario code into cell 1.
  std::vector<TrackCell> cells;
  // N, the last cell of the grid.
  const std::int64_t last_cell;
  std::vector<DecompileNote> notes;
  // The plan as read metre by metre: the turn of every metre from 2 on, in
  // runs, up to the last metre drawn. Complete when every metre was drawn
  // by a turn and nothing follows the last one: the plan is then told by
  // its runs alone, as a compile tells it.
  struct Plan {
    bool complete = false;
    std::vector<LineProfile::Run> runs;
  } plan;

  const TrackCell& cell(std::int64_t c) const {
    return cells[static_cast<std::size_t>(c)];
  }
  const ScenarioSlot& slot(int k) const {
    return set.slots[static_cast<std::size_t>(k)];
  }
  // The greatest position the range rule accepts: (p + 100) / 50 <= N.
  std::int64_t last_position() const { return kCellLength * last_cell - 100; }

  // Stations fill the slots from 1 up, signboard texts from 80 down. The
  // stations are the slots from 1 that hold numbers (every station has an
  // extent); the signboard slots run from 80 down to the lowest one a
  // signboard cell names or one that holds a name above the stations (a
  // signboard whose cell a station marker took keeps its text).
  int station_count() const;
  int lowest_signboard_slot() const;  // 81 when there is none
  // A station marker over a speed board placed before it keeps the board's
  // second to fourth values and no time.
  static bool board_under_marker(const TrackCell& c) {
    return c.kind == cell_kind::kStationMarker && c.signal_time == 0 &&
           (c.value2 != 0 || c.value3 != 0 || c.value4 != 0);
  }

  // A note on cell `c`, slot `k` or metre `m` of coordinate `coordinate`.
  void on_cell(DecompileNote::Severity s, std::int64_t c, std::string message);
  void on_slot(DecompileNote::Severity s, int k, std::string message);
  void on_metre(DecompileNote::Severity s, std::int64_t m, int coordinate,
                std::string message);

  // Byte offsets of records, as the files lay them out.
  static std::size_t cell_offset(std::int64_t c);
  std::size_t slot_offset(int k) const;
  std::size_t metre_offset(std::int64_t m, int coordinate) const;
  // The metre and coordinate whose value holds byte `offset` of the line
  // geometry file; the last metre of y for an offset beyond the file.
  std::pair<std::int64_t, int> metre_at(std::uint64_t offset) const;
};

// Names of records in notes, as the decoders name them.
std::string cell_record(std::int64_t c);
std::string slot_record(int k);

// The rows of the line source from the slots, cells and plan.
RecoveredSource recover_line_source(Recovery& r);

// The rows of the train source. `abbattimenti` are the cells whose
// abbattimento marks come from rows of the source rather than from the
// finishing pass (kind 13 cells and kind 12 cells found so).
RecoveredSource recover_train_source(
    Recovery& r, const std::vector<std::int64_t>& abbattimenti);

// The title and notes of a source's preamble.
std::vector<std::string> preamble_of(const std::string& what,
                                     const std::string& name,
                                     const std::vector<std::string>& unknown);

}  // namespace scenc::tools
