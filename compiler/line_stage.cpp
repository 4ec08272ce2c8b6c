// The line stage of the compile: the general section of the line source, the
// kilometric progressives, and the body rows (gradients, curves, mountains,
// speed-indicator boards, signboards) with the fills that close the line.
#include <algorithm>
#include <limits>

#include "compiler/compile_run.h"
#include "compiler/distances.h"
#include "compiler/memorizza_dati.h"

namespace scenc {
namespace {

// ---- General section ----------------------------------------------------

constexpr int kLengthField = field_index(fields::kLength, "length");
constexpr int kStartField = field_index(fields::kSignalRepetition, "start");
constexpr int kEndField = field_index(fields::kSignalRepetition, "end");

Flow progressive_row(CompileRun& run, int slot_index) {
  ScenarioSlot& slot = run.slot(slot_index);
  slot.num1 = run.number<std::int32_t>();
  slot.num2 = run.number<std::int32_t>();
  slot.num3 = run.number<std::int32_t>();
  run.stored_in_slot(slot_index, "num1", slot.num1, 0);
  run.stored_in_slot(slot_index, "num2", slot.num2, 1);
  run.stored_in_slot(slot_index, "num3", slot.num3, 2);
  run.line.progressive_rows[static_cast<std::size_t>(slot_index - 81)] = {
      run.current.row,
      run.field_place(field_index(fields::kProgressive, "first")),
      run.field_place(field_index(fields::kProgressive, "second")), slot.num1,
      slot.num2};
  return Flow::kGoOn;
}

Flow background_row(CompileRun& run, std::int32_t ScenarioSlot::*field,
                    std::string_view name) {
  const auto v = run.number<std::int32_t>();
  run.slot(kLineSlot).*field = v;
  run.stored_in_slot(kLineSlot, name, v, 0);
  return Flow::kGoOn;
}

}  // namespace

Flow length_row(CompileRun& run) {
  const auto length = run.number<std::int32_t>();
  run.slot(kConsistSlot).num2 = length;
  run.stored_in_slot(kConsistSlot, "num2", length, kLengthField);
  // A negative length is refused like one that is too long: no grid exists.
  if (length > kLongestLine || length < 0) {
    return run.raise(fault::kLineLength, kLengthField, std::nullopt,
                     std::nullopt,
                     {FaultCause::kOutOfRange, length, 0, kLongestLine});
  }
  // Nothing reads the grid or the plan before the general section ends, so
  // a later length row only replaces the length to allocate for. Allocating
  // once, when the section ends, keeps a source of many length rows from
  // costing a whole grid and plan per row.
  run.line.pending_length = length;
  return Flow::kGoOn;
}

// Slots 81 to 83 take the progressives "tre", "due" and "uno".
Flow progressive_three_row(CompileRun& run) { return progressive_row(run, 81); }
Flow progressive_two_row(CompileRun& run) { return progressive_row(run, 82); }
Flow progressive_one_row(CompileRun& run) { return progressive_row(run, 83); }

// The second background goes to the third number, the third to the second.
Flow background_one_row(CompileRun& run) {
  return background_row(run, &ScenarioSlot::num1, "num1");
}
Flow background_two_row(CompileRun& run) {
  return background_row(run, &ScenarioSlot::num3, "num3");
}
Flow background_three_row(CompileRun& run) {
  return background_row(run, &ScenarioSlot::num2, "num2");
}

Flow signal_repetition_row(CompileRun& run) {
  ScenarioSlot& slot = run.slot(kTrainSlot);
  slot.num1 = run.number<std::int32_t>();
  slot.num2 = run.number<std::int32_t>();
  if (slot.num1 % kCellLength != 0) {
    return run.raise(fault::kRepetitionStart, kStartField, std::nullopt,
                     std::nullopt, off_step(slot.num1, kCellLength));
  }
  if (slot.num2 % kCellLength != 0) {
    return run.raise(fault::kRepetitionEnd, kEndField, std::nullopt,
                     std::nullopt, off_step(slot.num2, kCellLength));
  }
  const std::string_view keyword = run.current.text;
  if (contains(keyword, "4")) {
    slot.num3 = 4;
  } else if (contains(keyword, "9")) {
    slot.num3 = 9;
  } else {
    return run.raise(fault::kRepetitionCodes);
  }
  if (slot.num2 == 0) slot.num3 = 0;
  run.stored_in_slot(kTrainSlot, "num1", slot.num1, kStartField);
  run.stored_in_slot(kTrainSlot, "num2", slot.num2, kEndField);
  run.stored_in_slot(kTrainSlot, "num3", slot.num3);
  return Flow::kGoOn;
}

namespace {

// ---- Body ---------------------------------------------------------------

// Draws the metres from the cursor up to `last`, each from the two metres
// before it, turning the step by `turn` radians per metre. The profile
// keeps the run; its points are computed when the geometry is written.
void draw_metres(LineProfile& p, std::int64_t& cursor, std::int64_t last,
                 double turn) {
  if (cursor > last) return;
  p.draw(last, turn);
  cursor = last + 1;
}

// Advances the plan from the cursor up to metre `to` with `turn`; a curve
// stops at the last metre of the plan. False when the plan passes the
// longest line.
bool extend_profile(CompileRun& run, std::int64_t to, double turn) {
  LineProfile& profile = run.model.line_profile;
  std::int64_t& cursor = run.line.profile_cursor;
  draw_metres(
      profile, cursor,
      std::min({to, profile.metre_count() - 1, std::int64_t{kLongestLine}}),
      turn);
  // Past the last metre of the plan nothing is drawn, but the cursor still
  // counts every metre up to the curve's end: a curve that ends beyond the
  // longest line fails on a short line too. Counted, not walked.
  if (to >= cursor) cursor = to + 1;
  return cursor <= kLongestLine;
}

void memo_montagna(CompileRun& run, std::int32_t inizio, std::int32_t fine,
                   std::int32_t& tipo) {
  constexpr int kTipo = field_index(fields::kMountain, "tipo");
  LineState& line = run.line;
  bool markers = false;
  if (tipo > 10) {
    tipo -= 10;
    markers = true;
  }
  ++line.mountain_counter;
  // Two mountains at most kMountainJoinGap apart join into one of type 3.
  if (line.mountain_counter > 1 &&
      std::int64_t{inizio} - line.previous_mountain_end <= kMountainJoinGap) {
    if (run.observer != nullptr) {
      Decision d;
      d.kind = Decision::Kind::kMountainJoined;
      d.field = kTipo;
      d.written = tipo;
      d.value = 3;
      d.limit = line.previous_mountain_end;
      d.earlier = line.previous_mountain_row;
      run.decided(d);
    }
    tipo = 3;
  }
  line.previous_mountain_end = fine;
  if (run.observer != nullptr) line.previous_mountain_row = run.current.row;
  const std::int64_t first = round_div_even(inizio, kCellLength);
  // The end cell is fine / 50 - 1 rounded as a whole: a mountain ending at
  // 225 m ends on cell 4 (3.5 rounds to 4), one ending at 275 m on cell 4.
  const std::int64_t last =
      round_div_even(std::int64_t{fine} - kCellLength, kCellLength);
  // Cells outside the grid are left out; the count of every fourth cell
  // still starts at the mountain's first cell.
  const std::int64_t from = std::max<std::int64_t>(first, 0);
  const std::int64_t to = std::min<std::int64_t>(last, run.last_cell());
  line.mountains.add(run.model.track_cells, first, from, to, wrap8(tipo),
                     markers);
  if (from <= to) {
    run.stored(Store::Target::kCells, from, to, "mountain", wrap8(tipo), kTipo);
  }
}

constexpr int kBoardPosition = field_index(fields::kSpeedBoard, "posizione");

// Two speeds in km/h packed into one value: the s speed / 5 in the hundreds
// and the d speed / 5 in the units. `s_field` and `d_field` are the row's
// fields they come from; a value that does not fit points at the s speed.
std::int16_t board_speeds(CompileRun& run, std::int32_t s, std::int32_t d,
                          int s_field, int d_field) {
  const std::int64_t written = std::int64_t{s} * 100 + d;
  const std::int64_t kept = round_div_even(written, 5);
  run.rounded(d_field, written, 5, kept);
  if (kept < std::numeric_limits<std::int16_t>::min() ||
      kept > std::numeric_limits<std::int16_t>::max()) {
    GeneralFailure failure =
        failure_of(FaultCause::kValueTooLarge, kept,
                   std::numeric_limits<std::int16_t>::min(),
                   std::numeric_limits<std::int16_t>::max());
    failure.field = run.field_place(s_field);
    throw failure;
  }
  return static_cast<std::int16_t>(kept);
}

Flow memo_indicatori_v_max(CompileRun& run, std::int32_t posizione,
                           const std::int32_t& vas, const std::int32_t& vbs,
                           const std::int32_t& vcs,
                           const std::int32_t& strisces,
                           const std::int32_t& vad, const std::int32_t& vbd,
                           const std::int32_t& vcd,
                           const std::int32_t& strisced) {
  using fields::kSpeedBoard;
  constexpr int kVas = field_index(kSpeedBoard, "vas");
  constexpr int kVbs = field_index(kSpeedBoard, "vbs");
  constexpr int kVcs = field_index(kSpeedBoard, "vcs");
  constexpr int kStrisces = field_index(kSpeedBoard, "strisces");
  const std::int64_t c = cell_index(posizione);
  TrackCell& cell = run.cell(c);
  if (!cell.is_free()) {
    return run.raise(fault::kBoardCellTaken, kBoardPosition, posizione, c);
  }
  cell.kind = cell_kind::kSpeedBoard;
  cell.value1 = board_speeds(run, vas, vad, kVas,
                             field_index(kSpeedBoard, "vad"));
  cell.value2 = board_speeds(run, vbs, vbd, kVbs,
                             field_index(kSpeedBoard, "vbd"));
  cell.value3 = board_speeds(run, vcs, vcd, kVcs,
                             field_index(kSpeedBoard, "vcd"));
  // The stripes are packed on 16 bits and wrap.
  cell.value4 = wrap16(std::int64_t{wrap16(strisces)} * 10 + wrap16(strisced));
  run.placed(c, kBoardPosition);
  run.stored_in_cell(c, "kind", cell.kind, kBoardPosition);
  run.stored_in_cell(c, "value1", cell.value1, kVas);
  run.stored_in_cell(c, "value2", cell.value2, kVbs);
  run.stored_in_cell(c, "value3", cell.value3, kVcs);
  run.stored_in_cell(c, "value4", cell.value4, kStrisces);
  return Flow::kGoOn;
}

}  // namespace

Flow gradient_row(CompileRun& run) {
  constexpr int kPosition = field_index(fields::kGradient, "position");
  LineState& line = run.line;
  const auto position = run.number<std::int32_t>();
  const auto gradient = run.number<std::int32_t>();
  if (!run.in_range(position)) {
    return run.raise(fault::kBeyondGrid, kPosition, position, std::nullopt,
                     run.range_cause(position, 0));
  }
  const std::int64_t n = round_div_even(position, kCellLength);
  if (n > 0) {
    // The cell at the cursor is written at least once, even when the row's
    // cell lies behind it: the previous row's gradient, up to this row's
    // cell.
    const std::int64_t first = line.gradient_cursor;
    const std::uint8_t stored =
        wrap8(std::int64_t{line.previous_gradient} + 100);
    do {
      run.cell(line.gradient_cursor).gradient = stored;
      ++line.gradient_cursor;
    } while (line.gradient_cursor < n);
    run.stored(Store::Target::kCells, first, line.gradient_cursor - 1,
               "gradient", stored, kPosition);
  }
  line.previous_gradient = gradient;
  return Flow::kGoOn;
}

Flow curve_row(CompileRun& run) {
  constexpr int kStart = field_index(fields::kCurve, "start");
  constexpr int kLength = field_index(fields::kCurve, "length");
  // Without a plan to draw, a curve row is not recognised at all: its
  // numbers are then read as fields that match nothing.
  if (run.model.write_line_file == 0) return Flow::kGoOn;
  const std::string_view keyword = run.current.text;
  const auto start = run.number<std::int32_t>();
  const auto length = run.number<std::int32_t>();
  if (!run.in_range(start)) {
    return run.raise(fault::kBeyondGrid, kStart, start, std::nullopt,
                     run.range_cause(start, 0));
  }
  const CurveClass* curve_class = curve_class_named(keyword);
  if (curve_class == nullptr) {
    return run.raise(fault::kBadCurve, kKeywordField, std::nullopt,
                     std::nullopt,
                     {FaultCause::kCurveWithoutClass, std::nullopt, 0, 0});
  }
  // Only the letter s is tested for the side: it turns the other way.
  const bool left = curve_turns_left(keyword);
  const double k = left ? -curve_class->curvature() : curve_class->curvature();
  if (run.observer != nullptr) {
    Decision d;
    d.kind = Decision::Kind::kCurveClass;
    d.value = curve_class->number;
    d.step = static_cast<std::int64_t>(keyword.find(curve_class->digit));
    d.left = left;
    run.decided(d);
  }
  if (!run.model.line_profile.exists()) {
    throw failure_of(FaultCause::kNoTrackCells);
  }
  const auto too_long = [](std::int64_t to) {
    return FaultCauseDetail{FaultCause::kProfileTooLong, to, 0, kLongestLine};
  };
  if (!extend_profile(run, start, 0.0)) {
    return run.raise(fault::kBadCurve, kStart, std::nullopt, std::nullopt,
                     too_long(start));
  }
  const std::int64_t turning_from = run.line.profile_cursor;
  const std::int64_t end = std::int64_t{start} + length;
  if (!extend_profile(run, end, k)) {
    return run.raise(fault::kBadCurve, kLength, std::nullopt, std::nullopt,
                     too_long(end));
  }
  if (turning_from <= end) {
    run.stored(Store::Target::kPlan, turning_from, end, "turn",
               left ? -curve_class->number : curve_class->number, kLength);
  }
  return Flow::kGoOn;
}

Flow mountain_row(CompileRun& run) {
  constexpr int kInizio = field_index(fields::kMountain, "inizio");
  const auto inizio = run.number<std::int32_t>();
  const auto fine = run.number<std::int32_t>();
  auto tipo = run.number<std::int32_t>();
  if (!run.in_range(inizio)) {
    return run.raise(fault::kBeyondGrid, kInizio, inizio, std::nullopt,
                     run.range_cause(inizio, 0));
  }
  memo_montagna(run, inizio, fine, tipo);
  return Flow::kGoOn;
}

Flow speed_board_row(CompileRun& run) {
  std::int32_t v[std::size(fields::kSpeedBoard)];
  for (auto& x : v) x = run.number<std::int32_t>();
  const std::int32_t posizione = v[kBoardPosition];
  if (!run.in_range(posizione) || cell_index(posizione) < 0) {
    return run.raise(fault::kBeyondGrid, kBoardPosition, posizione,
                     std::nullopt,
                     run.range_cause(posizione, cell_index(posizione)));
  }
  return memo_indicatori_v_max(run, posizione, v[1], v[2], v[3], v[4], v[5],
                               v[6], v[7], v[8]);
}

Flow signboard_row(CompileRun& run) {
  constexpr int kPosition = field_index(fields::kSignboard, "position");
  std::int32_t& slot_cursor = run.line.sign_slot_cursor;
  const auto position = run.number<std::int32_t>();
  const std::string_view text = run.text_field();
  if (!run.in_range(position) || cell_index(position) < 0) {
    return run.raise(fault::kBeyondGrid, kPosition, position, std::nullopt,
                     run.range_cause(position, cell_index(position)));
  }
  const std::int64_t c = cell_index(position);
  TrackCell& cell = run.cell(c);
  if (!cell.is_free()) {
    return run.raise(fault::kSignboardCellTaken, kPosition, position, c);
  }
  cell.kind = cell_kind::kSignboard;
  cell.value1 = wrap16(slot_cursor);
  // Signboard texts take the slots from 80 downward; one more than the
  // slots hold is the general failure.
  if (slot_cursor < 0) throw failure_of(FaultCause::kNoSignboardSlot);
  run.slot(slot_cursor).name = slot_text(text);
  run.placed(c, kPosition);
  run.stored_in_cell(c, "kind", cell.kind, kPosition);
  run.stored_in_cell(c, "value1", cell.value1, kPosition);
  run.stored_in_slot(slot_cursor, "name", static_cast<std::int64_t>(text.size()),
                     field_index(fields::kSignboard, "text"));
  --slot_cursor;
  return Flow::kGoOn;
}

namespace {

// ---- Closing fills ------------------------------------------------------

void closing_fills(CompileRun& run) {
  LineState& line = run.line;
  // The last gradient holds up to cell N - 3.
  const std::int64_t n = run.last_cell();
  do {
    run.cell(line.gradient_cursor).gradient =
        wrap8(std::int64_t{line.previous_gradient} + 100);
    ++line.gradient_cursor;
  } while (line.gradient_cursor < n - 2);

  if (run.model.write_line_file != 0) {
    LineProfile& profile = run.model.line_profile;
    if (!profile.exists()) throw failure_of(FaultCause::kNoTrackCells);
    // The last two metres stay empty unless a curve reached them.
    draw_metres(profile, line.profile_cursor, profile.metre_count() - 1 - 2,
                0.0);
  }
}

}  // namespace

void progressive_ordina(Model& model) {
  struct Triple {
    std::int32_t n1, n2, n3;
    int from_slot;
  };
  auto& slots = model.scenario_slots;
  Triple t[3];
  for (int i = 0; i < 3; ++i) {
    t[i] = {slots[81 + i].num1, slots[81 + i].num2, slots[81 + i].num3, 81 + i};
  }
  const Triple& a = t[0];  // "tre"
  const Triple& b = t[1];  // "due"
  const Triple& c = t[2];  // "uno"
  Triple ordered[3];
  const std::int64_t sum = std::int64_t{a.n1} + b.n1 + c.n1;
  if (sum != 0) {
    // Greatest first number first; of equal first numbers, the triple from
    // the higher-numbered slot first.
    std::copy(std::begin(t), std::end(t), ordered);
    std::sort(std::begin(ordered), std::end(ordered),
              [](const Triple& x, const Triple& y) {
                return x.n1 != y.n1 ? x.n1 > y.n1 : x.from_slot > y.from_slot;
              });
  } else if (c.n2 > 0) {
    ordered[0] = c, ordered[1] = b, ordered[2] = a;
  } else if (b.n2 > 0) {
    ordered[0] = b, ordered[1] = a, ordered[2] = c;
  } else if (a.n2 > 0) {
    ordered[0] = a, ordered[1] = b, ordered[2] = c;
  } else {
    for (auto& o : ordered) o = {0, 0, 0, 0};
  }
  // All three triples are in place before any is raised by 100, so that an
  // overflow on one leaves the others ordered all the same.
  for (int i = 0; i < 3; ++i) {
    ScenarioSlot& slot = slots[81 + i];
    slot.num1 = ordered[i].n1;
    slot.num2 = ordered[i].n2;
    slot.num3 = ordered[i].n3;
  }
  for (int i = 0; i < 3; ++i) {
    ScenarioSlot& slot = slots[81 + i];
    if (slot.num3 == 1) slot.num2 = checked<std::int32_t>(std::int64_t{slot.num2} + 100);
  }
}

bool compile_line_source(CompileRun& run) {
  Model& m = run.model;
  LineState& line = run.line;
  switch (run.load_source(SourceKind::kLine)) {
    case SourceStore::Status::kMissing:
      // Nothing is let go: the source was never found.
      run.current.row = SourceRow{SourcePlace{SourceKind::kLine, 0, 0}};
      run.raise(fault::kNoLineSource);
      return false;
    case SourceStore::Status::kUnreadable:
      run.line_found = true;
      run.source = SourceKind::kLine;
      throw failure_of(FaultCause::kSourceUnreadable);
    case SourceStore::Status::kOk:
      break;
  }
  run.line_found = true;
  run.begin_source(SourceKind::kLine);
  FieldReader& reader = run.reader;

  // Preamble: everything up to the first field that holds "[generale]".
  run.begin_part(SourcePart::kPreamble);
  for (;;) {
    const std::string_view keyword = run.read_keyword();
    if (reader.at_end()) {
      run.raise(fault::kNoGeneralSection);
      return false;
    }
    if (contains_ignoring_case(keyword, kGeneralHeader)) break;
  }
  run.begin_part(SourcePart::kGeneral);

  // General section, up to the first section header. However it ends, the
  // grid and the plan of its last accepted length row exist afterwards.
  const auto allocate_for_pending_length = [&run] {
    if (!run.line.pending_length) return;
    const std::int32_t length = *run.line.pending_length;
    run.line.pending_length.reset();
    run.model.allocate_for_length(length);
  };
  try {
    while (!reader.at_end()) {
      std::string_view keyword = run.read_keyword();
      if (reader.at_end()) break;
      for (int i = 0; i < 10 && is_comment(keyword); ++i) keyword = run.read_keyword();
      if (compile_rows(run, kLineGeneralKeywords, keyword) == Flow::kEndCall) {
        allocate_for_pending_length();
        return false;
      }
      if (is_section_header(keyword)) break;
    }
  } catch (...) {
    allocate_for_pending_length();
    throw;
  }
  allocate_for_pending_length();

  progressive_ordina(m);
  line.mountain_counter = 0;
  line.sign_slot_cursor = kFirstSignboardSlot;
  line.gradient_cursor = 0;
  line.profile_cursor = 2;
  if (m.write_line_file != 0) {
    if (!m.line_profile.exists()) throw failure_of(FaultCause::kNoTrackCells);
    m.line_profile.set_int16(0, 0, 0);
    m.line_profile.set_int16(1, 0, 0);
    m.line_profile.set_int16(0, 1, 0);
    m.line_profile.set_int16(1, 1, 1);
  }

  run.begin_part(SourcePart::kBody);
  // The mountains noted while the body is compiled reach the grid when it
  // ends, by a fault or by the general failure too: the train stage, the
  // finishing pass and the files see every mountain of the rows compiled.
  struct ApplyMountains {
    CompileRun& run;
    ~ApplyMountains() { run.line.mountains.apply(run.model.track_cells); }
  } apply_mountains{run};
  if (!compile_body(run, kLineBodyKeywords)) return false;
  run.remove_source(SourceKind::kLine);
  closing_fills(run);
  return true;
}

}  // namespace scenc
