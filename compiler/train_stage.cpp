// The train stage of the compile: the train's general values, the speed
// limits and adhesion along the line, the stations with their timetable, and
// the signal, slow-order and abbattimento rows, then the fills that carry the
// last speed and adhesion to the end of the grid.
#include "compiler/compile_run.h"
#include "compiler/distances.h"
#include "compiler/marks.h"

namespace scenc {
namespace {

// The speed code of the current speed: round(speed / 5), which must fit a
// byte. A speed that does not fit is its own row's failure, though the fill
// of a later row or of the end steps finds it.
std::uint8_t speed_code(const TrainState& t) {
  const std::int64_t code = round_div_even(t.current_speed, 5);
  if (code < 0 || code > 255) {
    GeneralFailure failure = failure_of(FaultCause::kSpeedCode, code, 0, 255);
    if (t.current_speed_field.known()) {
      failure.row = t.current_speed_row;
      failure.field = t.current_speed_field;
    }
    throw failure;
  }
  return static_cast<std::uint8_t>(code);
}

// Carries the last speed limit and adhesion to cell N - 3 and checks the
// kilometric progressives.
void end_steps(CompileRun& run) {
  TrainState& t = run.train;
  run.remove_source(SourceKind::kTrain);
  const std::int64_t n = run.last_cell();
  // At least one cell is written; nothing beyond the grid.
  do {
    const std::uint8_t code = speed_code(t);
    if (t.speed_cursor <= n) run.cell(t.speed_cursor).speed_limit = code;
    ++t.speed_cursor;
  } while (t.speed_cursor < n - 2);
  do {
    if (t.adhesion_cursor <= n) {
      run.cell(t.adhesion_cursor).adhesion = wrap8(t.current_adhesion);
    }
    ++t.adhesion_cursor;
  } while (t.adhesion_cursor < n - 2);

  for (int s = 81; s <= 83; ++s) {
    const ScenarioSlot& slot =
        run.model.scenario_slots[static_cast<std::size_t>(s)];
    if (slot.num1 % kCellLength == 0 && slot.num2 % kCellLength == 0) continue;
    // Point at the progressive row, and its number, that is not a whole
    // 50 m step.
    for (const LineState::ProgressiveRow& row : run.line.progressive_rows) {
      if (row.first % kCellLength != 0 || row.second % kCellLength != 0) {
        const bool first = row.first % kCellLength != 0;
        run.raise_for(fault::kProgressiveStep, row.row,
                      first ? row.first_field : row.second_field,
                      off_step(first ? row.first : row.second, kCellLength));
        return;
      }
    }
    run.raise_for(fault::kProgressiveStep, SourceRow{}, SourcePlace{});
    return;
  }
}

}  // namespace

Flow braked_mass_row(CompileRun& run) {
  const auto v = run.number<std::int32_t>();
  run.slot(kConsistSlot).num1 = v;
  run.stored_in_slot(kConsistSlot, "num1", v, 0);
  return Flow::kGoOn;
}

Flow cars_row(CompileRun& run) {
  const auto v = run.number<std::int32_t>();
  run.slot(kConsistSlot).num3 = v;
  run.stored_in_slot(kConsistSlot, "num3", v, 0);
  return Flow::kGoOn;
}

Flow speed_limit_row(CompileRun& run) {
  constexpr int kPosition = field_index(fields::kSpeedLimit, "position");
  TrainState& t = run.train;
  constexpr int kSpeed = field_index(fields::kSpeedLimit, "speed");
  const auto position = run.number<std::int32_t>();
  const auto speed = run.number<std::int32_t>();
  if (!run.in_range(position)) {
    return run.raise(fault::kBeyondGrid, kPosition, position, std::nullopt,
                     run.range_cause(position, 0));
  }
  const std::int64_t m = round_div_even(position, kCellLength);
  // The previous limit holds up to the cell before this row's; a row that
  // does not lie beyond the cursor still fills one cell.
  if (m > 0) {
    const std::int64_t first = t.speed_cursor;
    do {
      if (t.speed_cursor >= run.last_cell()) break;
      run.cell(t.speed_cursor).speed_limit = speed_code(t);
      ++t.speed_cursor;
    } while (t.speed_cursor < m);
    if (t.speed_cursor > first) {
      run.stored(Store::Target::kCells, first, t.speed_cursor - 1,
                 "speed_limit", speed_code(t), kPosition);
    }
  }
  t.current_speed = speed;
  t.current_speed_row = run.current.row;
  t.current_speed_field = run.field_place(kSpeed);
  run.rounded(kSpeed, speed, 5, round_div_even(speed, 5));
  // A recovering compile finds a speed whose code does not fit at its own
  // row, where it can go on past it, rather than at the next fill.
  if (run.recovering) speed_code(t);
  return Flow::kGoOn;
}

Flow adhesion_row(CompileRun& run) {
  constexpr int kPosition = field_index(fields::kAdhesion, "position");
  TrainState& t = run.train;
  const auto position = run.number<std::int32_t>();
  const auto value = run.number<std::int32_t>();
  if (!run.in_range(position)) {
    return run.raise(fault::kBeyondGrid, kPosition, position, std::nullopt,
                     run.range_cause(position, 0));
  }
  const std::int64_t m = round_div_even(position, kCellLength);
  if (m > 0) {
    const std::int64_t first = t.adhesion_cursor;
    do {
      if (t.adhesion_cursor > run.last_cell()) break;
      run.cell(t.adhesion_cursor).adhesion = wrap8(t.current_adhesion);
      ++t.adhesion_cursor;
    } while (t.adhesion_cursor < m);
    if (t.adhesion_cursor > first) {
      run.stored(Store::Target::kCells, first, t.adhesion_cursor - 1,
                 "adhesion", wrap8(t.current_adhesion), kPosition);
    }
  }
  t.current_adhesion = value;
  return Flow::kGoOn;
}

Flow clock_row(CompileRun& run) {
  ScenarioSlot& slot = run.slot(kTrainSlot);
  slot.word3 = run.number<std::int16_t>();
  slot.word4 = run.number<std::int16_t>();
  slot.word5 = run.number<std::int16_t>();
  run.stored_in_slot(kTrainSlot, "word3", slot.word3, 0);
  run.stored_in_slot(kTrainSlot, "word4", slot.word4, 1);
  run.stored_in_slot(kTrainSlot, "word5", slot.word5, 2);
  return Flow::kGoOn;
}

Flow sand_row(CompileRun& run) {
  const auto v = run.number<std::int16_t>();
  run.slot(kTrainSlot).word1 = v;
  run.stored_in_slot(kTrainSlot, "word1", v, 0);
  return Flow::kGoOn;
}

// A signal, slow-order or abbattimento row ends the stage only on a fault of
// its own mark: the handler passes on what the mark returns, so a fault the
// line stage left stays recorded and the stage goes on.
Flow signal_row(CompileRun& run) {
  std::int32_t v[std::size(fields::kSignal)];
  for (auto& x : v) x = run.number<std::int32_t>();
  const std::int32_t posizione = v[kSignalPosition];
  if (!run.in_range(posizione) || signal_leaves_grid(run, posizione)) {
    return run.raise(fault::kBeyondGrid, kSignalPosition, posizione,
                     std::nullopt,
                     run.range_cause(posizione, cell_index(posizione)));
  }
  return memo_segnale(run, posizione, v[1], v[2], v[3], v[4], v[5], v[6], v[7],
                      v[8], v[9], v[10]);
}

Flow slow_order_row(CompileRun& run) {
  std::int32_t v[std::size(fields::kSlowOrder)];
  for (auto& x : v) x = run.number<std::int32_t>();
  const std::int32_t x = v[kSlowOrderPosition];
  if (!run.in_range(x) || slow_order_leaves_grid(run, x, v[2])) {
    const std::int64_t start = cell_index(x);
    return run.raise(fault::kBeyondGrid, kSlowOrderPosition, x, std::nullopt,
                     run.range_cause(x, start >= 0 && start <= run.last_cell()
                                            ? cell_index(std::int64_t{x} + v[2])
                                            : start));
  }
  return memo_rallentamento(run, x, v[1], v[2], v[3], v[4], v[5]);
}

Flow abbattimento_row(CompileRun& run) {
  const auto position = run.number<std::int32_t>();
  const auto value = run.number<std::int32_t>();
  if (!run.in_range(position) || abbattimento_leaves_grid(run, position)) {
    return run.raise(
        fault::kBeyondGrid, kAbbattimentoPosition, position, std::nullopt,
        run.range_cause(position, round_div_even(position, kCellLength)));
  }
  return memo_abbattimento(run, position, value);
}

namespace {

// The station's extent along the line, from its position, kind and length.
void station_extent(CompileRun& run, ScenarioSlot& slot, std::int32_t pos,
                    std::int32_t len) {
  constexpr int kPosition = field_index(fields::kStation, "position");
  constexpr int kLength = field_index(fields::kStation, "length");
  const std::uint8_t kind = slot.kind;
  if (kind == 5 || kind == 6) {
    slot.num1 =
        checked_from<std::int32_t>(run, std::int64_t{pos} - len, kLength);
    slot.num2 =
        checked_from<std::int32_t>(run, std::int64_t{pos} + 150, kPosition);
    slot.byte3 = 0;
  } else if (kind == 7 || kind == 8) {
    slot.num1 =
        checked_from<std::int32_t>(run, std::int64_t{pos} - len, kLength);
    slot.num2 =
        checked_from<std::int32_t>(run, std::int64_t{pos} + len, kLength);
    slot.byte3 = 0;
  } else {
    slot.num1 =
        checked_from<std::int32_t>(run, std::int64_t{pos} - len / 2, kLength);
    slot.num2 = checked_from<std::int32_t>(
        run, std::int64_t{pos} + len / 2 + (slot.byte3 != 0 ? 50 : 0), kLength);
  }
}

// Kinds from 25 up occupy a slot but place nothing on the grid. The marker
// goes on the cell 100 m before the end of the extent, the four approach
// codes on the cells just below it. What the row's handler returns when a
// fault ends it here; nothing when it goes on.
std::optional<Flow> place_station_marker(CompileRun& run, std::int32_t n,
                                         std::int32_t pos) {
  constexpr int kPosition = field_index(fields::kStation, "position");
  constexpr int kLength = field_index(fields::kStation, "length");
  const ScenarioSlot& slot = run.slot(n);
  const std::uint8_t kind = slot.kind;
  if (kind < 25) {
    const std::int64_t end = slot.num2;
    const std::int64_t marker = round_div_even(end - kCellLength, kCellLength);
    if (end > 100 && marker > run.last_cell()) {
      return run.raise(
          fault::kBeyondGrid, kPosition, pos, std::nullopt,
          {FaultCause::kMarksOutsideGrid, marker, 0, run.last_cell()});
    }
    if (kind != 5 && kind != 6) {
      for (int k = 1; k <= 4; ++k) {
        // q = end / 50 - k - 1, computed exactly; written only above cell 1.
        if (end > kCellLength * (k + 2)) {
          const std::int64_t q =
              round_div_even(end - kCellLength * (k + 1), kCellLength);
          run.cell(q).approach = wrap8(80 + k);
          run.stored_in_cell(q, "approach", 80 + k, kLength);
        }
      }
    }
    if (end <= 100) {
      return run.raise(fault::kStationTooEarly, kPosition, std::nullopt,
                       std::nullopt,
                       {FaultCause::kStationEndsEarly, end, 0, 100});
    }
    TrackCell& cell = run.cell(marker);
    cell.kind = cell_kind::kStationMarker;
    cell.value1 = static_cast<std::int16_t>(n);
    run.placed(marker, kPosition);
    run.stored_in_cell(marker, "kind", cell.kind, kLength);
    run.stored_in_cell(marker, "value1", n, kLength);
  }
  return std::nullopt;
}

}  // namespace

Flow station_row(CompileRun& run) {
  constexpr int kPosition = field_index(fields::kStation, "position");
  constexpr int kLength = field_index(fields::kStation, "length");
  TrainState& t = run.train;
  const std::int32_t n = t.station;
  ScenarioSlot& slot = run.slot(n);

  slot.num3 = run.number<std::int32_t>();
  const std::int32_t pos = slot.num3;
  // A station reaches 800 m beyond its position.
  if (!run.in_range(pos, 800)) {
    return run.raise(fault::kBeyondGrid, kPosition, pos, std::nullopt,
                     run.range_cause(pos, 0, 800));
  }
  if (pos % kCellLength != 0) {
    return run.raise(fault::kStationPosition, kPosition, pos, std::nullopt,
                     off_step(pos, kCellLength));
  }

  slot.kind = run.number<std::uint8_t>();
  const auto len = run.number<std::int32_t>();
  if (len % 100 != 0) {
    return run.raise(fault::kStationLength, kLength, pos, std::nullopt,
                     off_step(len, 100));
  }

  slot.flag = run.number<std::uint8_t>();
  slot.byte4 = run.number<std::uint8_t>();
  slot.byte3 = run.number<std::uint8_t>();
  slot.word1 = run.number<std::int16_t>();
  slot.word2 = run.number<std::int16_t>();
  slot.byte1 = run.number<std::uint8_t>();
  slot.word3 = run.number<std::int16_t>();
  slot.word4 = run.number<std::int16_t>();
  slot.word5 = run.number<std::int16_t>();
  slot.byte2 = run.number<std::uint8_t>();
  const auto hours = run.number<std::int32_t>();
  const auto minutes = run.number<std::int32_t>();
  const auto seconds = run.number<std::int32_t>();
  slot.name = slot_text(run.text_field());
  slot.num4 = checked_from<std::int32_t>(
      run, (std::int64_t{hours} * 60 + minutes) * 60 + seconds,
      field_index(fields::kStation, "hours"));

  station_extent(run, slot, pos, len);
  if (len < 600) slot.byte4 = 0;
  if (n == 1) {
    slot.byte4 = 0;
    slot.byte3 = 0;
  }
  run.stored_in_slot(n, "num3", slot.num3, kPosition);
  run.stored_in_slot(n, "num1", slot.num1, kLength);
  run.stored_in_slot(n, "num2", slot.num2, kLength);
  run.stored_in_slot(n, "num4", slot.num4, field_index(fields::kStation, "hours"));

  if (const std::optional<Flow> stop = place_station_marker(run, n, pos)) {
    return *stop;
  }

  if (n > 1) {
    const std::int32_t before =
        run.model.scenario_slots[static_cast<std::size_t>(n - 1)].num2;
    if (std::int64_t{slot.num1} - kStationGap < before) {
      const FaultCause cause = slot.num1 < before
                                   ? FaultCause::kStationsOverlap
                                   : FaultCause::kStationsTooClose;
      return run.raise(
          fault::kStationsTooClose, kPosition, pos, std::nullopt,
          {cause, slot.num1, before, 0},
          CellPlacement{-1, t.previous_station_row, t.previous_station_field});
    }
  }
  t.station = n + 1;
  t.previous_station_row = run.current.row;
  t.previous_station_field = run.field_place(kPosition);
  // Stations fill the slots upward and must stay below the signboard texts.
  if (t.station >= run.line.sign_slot_cursor) {
    return run.raise(fault::kTooManyStations, kKeywordField, std::nullopt,
                     std::nullopt,
                     {FaultCause::kTooManyStations, n,
                      kFirstSignboardSlot - run.line.sign_slot_cursor,
                      run.line.sign_slot_cursor - 2});
  }
  return Flow::kGoOn;
}

bool compile_train_source(CompileRun& run) {
  run.begin_source(SourceKind::kTrain, {});
  if (run.load_source(SourceKind::kTrain) != SourceStore::Status::kOk) {
    throw failure_of(FaultCause::kSourceUnreadable);
  }
  run.begin_source(SourceKind::kTrain);
  FieldReader& reader = run.reader;

  // Preamble: everything up to and including the first "[generale]".
  run.begin_part(SourcePart::kPreamble);
  for (;;) {
    const std::string_view keyword = run.read_keyword();
    if (reader.at_end() || contains_ignoring_case(keyword, kGeneralHeader))
      break;
  }

  run.train = TrainState{};
  run.begin_part(SourcePart::kBody);
  if (!compile_body(run, kTrainKeywords)) return false;
  end_steps(run);
  return true;
}

}  // namespace scenc
