// The line source from the files: the general rows from slots 81 to 86, the
// gradients and mountains from the cells, the curves from the plan, and the
// boards and signboards from their cells with the signboards' texts.
#include <algorithm>
#include <map>

#include "tools/decompile/cell_fills.h"
#include "tools/decompile/mountains.h"
#include "tools/decompile/plan.h"
#include "tools/decompile/recovery.h"

namespace scenc::tools {
namespace {

using Severity = DecompileNote::Severity;

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

// Where an object on cell c stands: the start of its cell.
std::int64_t position_of_cell(std::int64_t c) { return kCellLength * (c - 1); }

struct Triple {
  std::int64_t first, second, third;
};

// The progressives "uno", "due" and "tre" as written, from slots 81 to 83
// as the ordering left them: greatest first number first, the triple of a
// higher slot first among equals, and 100 added to the second number of a
// triple whose third is 1. Written as "uno", "due", "tre" in that order
// they are ordered back into the same slots.
std::vector<Triple> progressives(Recovery& r) {
  std::vector<Triple> t;
  for (int k = 81; k <= 83; ++k) {
    const ScenarioSlot& s = r.slot(k);
    t.push_back(
        {s.num1, s.num3 == 1 ? std::int64_t{s.num2} - 100 : s.num2, s.num3});
  }
  const bool descending = t[0].first >= t[1].first && t[1].first >= t[2].first;
  if (t[0].first + t[1].first + t[2].first != 0) {
    if (!descending) {
      r.on_slot(Severity::kWarning, 81,
                "the kilometric progressives of slots 81 to 83 are not ordered "
                "by their first numbers, as every compile orders them");
    }
  } else if (t[0].second <= 0) {
    // With first numbers summing to 0, the triples are ordered by which
    // second number is positive, and all cleared when none is.
    bool cleared = true;
    for (const Triple& x : t)
      cleared = cleared && x.first == 0 && x.second == 0 && x.third == 0;
    if (!cleared) {
      r.on_slot(Severity::kWarning, 81,
                "the kilometric progressives of slots 81 to 83 are not in an "
                "order their rows can give");
    }
  }
  return t;
}

RecoveredSection general_section(Recovery& r) {
  RecoveredSection s{"[generale]", {}, {}};
  s.rows.push_back(make_row("lunghezza percorso", {r.slot(kConsistSlot).num2}));
  const std::vector<Triple> t = progressives(r);
  const char* const names[] = {"uno", "due", "tre"};
  for (int i = 0; i < 3; ++i) {
    s.rows.push_back(
        make_row(std::string("progressiva chilometrica ") + names[i],
                 {t[static_cast<std::size_t>(i)].first,
                  t[static_cast<std::size_t>(i)].second,
                  t[static_cast<std::size_t>(i)].third}));
  }
  const ScenarioSlot& line = r.slot(kLineSlot);
  // The second background is kept in num3, the third in num2.
  s.rows.push_back(make_row("sfondo uno", {line.num1}));
  s.rows.push_back(make_row("sfondo due", {line.num3}));
  s.rows.push_back(make_row("sfondo tre", {line.num2}));

  const ScenarioSlot& train = r.slot(kTrainSlot);
  const bool codes_fit =
      train.num2 == 0 ? train.num3 == 0 : train.num3 == 4 || train.num3 == 9;
  if (!codes_fit || train.num1 % kCellLength != 0 ||
      train.num2 % kCellLength != 0) {
    r.on_slot(Severity::kWarning, kTrainSlot,
              "the signal repetition (" + std::to_string(train.num1) + " to " +
                  std::to_string(train.num2) + " m, " +
                  std::to_string(train.num3) +
                  " codes) is not one a fault-free compile writes: its ends "
                  "fall on 50 m steps, and it has 4 or 9 codes, 0 when it "
                  "ends at 0");
  }
  s.rows.push_back(make_row(std::string("ripetizione segnali ") +
                                (train.num3 == 9 ? "9" : "4") + " codici",
                            {train.num1, train.num2}));
  return s;
}

RecoveredSection gradients(Recovery& r) {
  RecoveredSection s{"[pendenze]", {}, {}};
  std::vector<std::uint8_t> bytes;
  for (const TrackCell& c : r.cells) bytes.push_back(c.gradient);
  // Before the first row the gradient is 0, stored as 100.
  for (const FillRow& f : fill_rows(bytes, 100, false)) {
    s.rows.push_back(make_row(
        "pendenza", {kCellLength * f.cell, std::int64_t{f.value} - 100}));
  }
  return s;
}

RecoveredSection curves(Recovery& r) {
  RecoveredSection s{"[curve]", {}, {}};
  for (const CurveRow& c : curve_rows(r)) {
    s.rows.push_back(make_row(std::string("curva") + (c.left ? "s" : "d") +
                                  std::to_string(c.turn_class),
                              {c.start, c.length}));
  }
  return s;
}

// An object the line source places on a cell stands where its row may
// stand: no further than the range rule allows.
bool placeable(Recovery& r, std::int64_t c, const std::string& what) {
  if (position_of_cell(c) <= r.last_position()) return true;
  r.on_cell(Severity::kWarning, c,
            "a " + what +
                " on the last cell, beyond every position a row may "
                "take");
  return false;
}

// Two speeds packed as (s / 5) x 100 + d / 5, and the stripes as s x 10 + d.
std::pair<std::int64_t, std::int64_t> unpacked(std::int64_t v,
                                               std::int64_t base,
                                               std::int64_t unit) {
  const std::int64_t high = floor_div(v, base);
  return {high * unit, (v - high * base) * unit};
}

RecoveredSection boards(Recovery& r) {
  RecoveredSection s{"[cartelli]", {}, {}};
  for (std::int64_t c = 0; c <= r.last_cell; ++c) {
    const TrackCell& cell = r.cell(c);
    if (Recovery::board_under_marker(cell)) {
      r.on_cell(Severity::kWarning, c,
                "a station marker stands over an object placed before it, "
                "whose second to fourth values it kept; written as the speed "
                "board it may have been, one reading of several");
    } else if (cell.kind != cell_kind::kSpeedBoard) {
      continue;
    }
    placeable(r, c, "speed board");
    // A marker keeps nothing of the board's first value.
    const auto [vas, vad] =
        unpacked(cell.kind == cell_kind::kSpeedBoard ? cell.value1 : 0, 100, 5);
    const auto [vbs, vbd] = unpacked(cell.value2, 100, 5);
    const auto [vcs, vcd] = unpacked(cell.value3, 100, 5);
    const auto [strisces, strisced] = unpacked(cell.value4, 10, 1);
    s.rows.push_back(
        make_row("indicatori_vmax", {position_of_cell(c), vas, vbs, vcs,
                                     strisces, vad, vbd, vcd, strisced}));
  }
  return s;
}

RecoveredSection mountains(Recovery& r) {
  RecoveredSection s{"[montagne]", {}, {}};
  for (const MountainRow& m : mountain_rows(r.cells)) {
    RecoveredRow written = make_row("montagna", {m.inizio, m.fine, m.tipo});
    written.comment = m.comment;
    s.rows.push_back(std::move(written));
  }
  return s;
}

// The cells of station markers that may stand over a signboard placed
// before them: a signboard leaves nothing but its kind and slot, which the
// marker replaces.
std::vector<std::int64_t> bare_markers(const Recovery& r) {
  std::vector<std::int64_t> cells;
  for (std::int64_t c = 0; c <= r.last_cell; ++c) {
    const TrackCell& cell = r.cell(c);
    if (cell.kind == cell_kind::kStationMarker && cell.value2 == 0 &&
        cell.value3 == 0 && cell.value4 == 0 && cell.signal_time == 0) {
      cells.push_back(c);
    }
  }
  return cells;
}

RecoveredRow signboard_row(Recovery& r, std::int64_t c, int slot) {
  RecoveredRow written = make_row("cartello indicatore", {position_of_cell(c)});
  written.text = slot >= 0 && slot < kSlotCount ? r.slot(slot).name : "";
  if (!text_is_writable(*written.text)) {
    r.on_slot(Severity::kWarning, slot,
              "a text that holds a double quote and a comma, a line end or a "
              "leading blank: no field of a source reads as it");
  }
  placeable(r, c, "signboard");
  return written;
}

// Signboards take the slots from 80 downward in the order of their rows, so
// their rows are written in that order. A text whose signboard no cell
// shows stood where a station marker stands now.
RecoveredSection signboards(Recovery& r) {
  RecoveredSection s{"[indicazioni]", {}, {}};
  std::map<std::int64_t, std::int64_t> cell_of_slot;
  std::vector<std::int64_t> stray;
  const int lowest = r.lowest_signboard_slot();
  for (std::int64_t c = 0; c <= r.last_cell; ++c) {
    const TrackCell& cell = r.cell(c);
    if (cell.kind != cell_kind::kSignboard) continue;
    if (cell.value1 < lowest || cell.value1 > kFirstSignboardSlot ||
        !cell_of_slot.emplace(cell.value1, c).second) {
      r.on_cell(Severity::kWarning, c,
                "a signboard whose text would be in slot " +
                    std::to_string(cell.value1) +
                    ", which no signboard row of this line takes");
      stray.push_back(c);
    }
  }
  std::vector<std::int64_t> markers = bare_markers(r);
  auto next_marker = markers.begin();
  for (int slot = kFirstSignboardSlot; slot >= lowest; --slot) {
    const auto found = cell_of_slot.find(slot);
    if (found != cell_of_slot.end()) {
      s.rows.push_back(signboard_row(r, found->second, slot));
      continue;
    }
    if (next_marker == markers.end()) {
      r.on_slot(Severity::kWarning, slot,
                "holds a signboard text whose signboard no cell shows, and no "
                "station marker is left that may stand over it");
      continue;
    }
    r.on_slot(Severity::kWarning, slot,
              "holds a signboard text whose signboard no cell shows: a "
              "station marker took its cell; it is written on cell " +
                  std::to_string(*next_marker) +
                  ", one of the markers' cells it may have stood on");
    s.rows.push_back(signboard_row(r, *next_marker++, slot));
  }
  for (std::int64_t c : stray) {
    s.rows.push_back(signboard_row(r, c, r.cell(c).value1));
  }
  return s;
}

}  // namespace

RecoveredSource recover_line_source(Recovery& r) {
  RecoveredSource source;
  std::vector<std::string> unknown{
      "the title, comments and blank lines of the source they come from;",
      "where in its 50 m cell each row stood: every row here stands at the",
      "start of its cell, and a gradient row only where the gradient changes;"};
  if (!r.set.geometry_path) {
    unknown.push_back(
        "the curves: no line geometry file was written, so these");
    unknown.push_back("sources draw the line straight; compile them with");
    unknown.push_back("--no-geometry to write the same files.");
  }
  source.preamble = preamble_of("Line", r.slot(kLineSlot).name, unknown);
  source.sections.push_back(general_section(r));
  source.sections.push_back(gradients(r));
  source.sections.push_back(
      r.set.geometry_path ? curves(r) : RecoveredSection{"[curve]", {}, {}});
  source.sections.push_back(boards(r));
  source.sections.push_back(mountains(r));
  source.sections.push_back(signboards(r));
  return source;
}

}  // namespace scenc::tools
