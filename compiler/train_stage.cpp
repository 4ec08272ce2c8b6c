// The train stage of the compile: the train's general values, the speed
// limits and adhesion along the line, the stations with their timetable, and
// the signal, slow-order and abbattimento rows, then the fills that carry the
// last speed and adhesion to the end of the grid.
#include "compiler/compile_run.h"
#include "compiler/marks.h"

namespace scenc {
namespace {

// The speed code of the current speed: round(speed / 5), which must fit a
// byte. A speed that does not fit is its own row's failure, though the fill
// of a later row or of the end steps finds it.
std::uint8_t speed_code(const TrainState& t) {
  const std::int64_t code = round_div_even(t.current_speed, 5);
  if (code < 0 || code > 255) {
    GeneralFailure failure =
        failure_of(FaultCause::kValueTooLarge, code, 0, 255);
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
    if (slot.num1 % 50 == 0 && slot.num2 % 50 == 0) continue;
    // Point at the progressive row, and its number, that is not a whole
    // 50 m step.
    for (const LineState::ProgressiveRow& row : run.line.progressive_rows) {
      if (row.first % 50 != 0 || row.second % 50 != 0) {
        run.raise_for(fault::kProgressiveStep, row.row,
                      row.first % 50 != 0 ? row.first_field : row.second_field);
        return;
      }
    }
    run.raise_for(fault::kProgressiveStep, SourceRow{}, SourcePlace{});
    return;
  }
}

}  // namespace

Flow braked_mass_row(CompileRun& run) {
  run.model.scenario_slots[kConsistSlot].num1 = run.number<std::int32_t>();
  return Flow::kGoOn;
}

Flow cars_row(CompileRun& run) {
  run.model.scenario_slots[kConsistSlot].num3 = run.number<std::int32_t>();
  return Flow::kGoOn;
}

Flow speed_limit_row(CompileRun& run) {
  constexpr int kPosition = field_index(fields::kSpeedLimit, "position");
  TrainState& t = run.train;
  const auto position = run.number<std::int32_t>();
  const auto speed = run.number<std::int32_t>();
  if (!run.in_range(position)) {
    return run.raise(fault::kBeyondGrid, kPosition, position);
  }
  const std::int64_t m = round_div_even(position, 50);
  // The previous limit holds up to the cell before this row's; a row that
  // does not lie beyond the cursor still fills one cell.
  if (m > 0) {
    do {
      if (t.speed_cursor >= run.last_cell()) break;
      run.cell(t.speed_cursor).speed_limit = speed_code(t);
      ++t.speed_cursor;
    } while (t.speed_cursor < m);
  }
  t.current_speed = speed;
  t.current_speed_row = run.current.row;
  t.current_speed_field =
      run.field_place(field_index(fields::kSpeedLimit, "speed"));
  return Flow::kGoOn;
}

Flow adhesion_row(CompileRun& run) {
  constexpr int kPosition = field_index(fields::kAdhesion, "position");
  TrainState& t = run.train;
  const auto position = run.number<std::int32_t>();
  const auto value = run.number<std::int32_t>();
  if (!run.in_range(position)) {
    return run.raise(fault::kBeyondGrid, kPosition, position);
  }
  const std::int64_t m = round_div_even(position, 50);
  if (m > 0) {
    do {
      if (t.adhesion_cursor > run.last_cell()) break;
      run.cell(t.adhesion_cursor).adhesion = wrap8(t.current_adhesion);
      ++t.adhesion_cursor;
    } while (t.adhesion_cursor < m);
  }
  t.current_adhesion = value;
  return Flow::kGoOn;
}

Flow clock_row(CompileRun& run) {
  ScenarioSlot& slot = run.model.scenario_slots[kTrainSlot];
  slot.word3 = run.number<std::int16_t>();
  slot.word4 = run.number<std::int16_t>();
  slot.word5 = run.number<std::int16_t>();
  return Flow::kGoOn;
}

Flow sand_row(CompileRun& run) {
  run.model.scenario_slots[kTrainSlot].word1 = run.number<std::int16_t>();
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
                     std::nullopt, run.range_cause(posizione));
  }
  return memo_segnale(run, posizione, v[1], v[2], v[3], v[4], v[5], v[6], v[7],
                      v[8], v[9], v[10]);
}

Flow slow_order_row(CompileRun& run) {
  std::int32_t v[std::size(fields::kSlowOrder)];
  for (auto& x : v) x = run.number<std::int32_t>();
  const std::int32_t x = v[kSlowOrderPosition];
  if (!run.in_range(x) || slow_order_leaves_grid(run, x, v[2])) {
    return run.raise(fault::kBeyondGrid, kSlowOrderPosition, x, std::nullopt,
                     run.range_cause(x));
  }
  return memo_rallentamento(run, x, v[1], v[2], v[3], v[4], v[5]);
}

Flow abbattimento_row(CompileRun& run) {
  const auto position = run.number<std::int32_t>();
  const auto value = run.number<std::int32_t>();
  if (!run.in_range(position) || abbattimento_leaves_grid(run, position)) {
    return run.raise(fault::kBeyondGrid, kAbbattimentoPosition, position,
                     std::nullopt, run.range_cause(position));
  }
  return memo_abbattimento(run, position, value);
}

Flow station_row(CompileRun& run) {
  constexpr int kPosition = field_index(fields::kStation, "position");
  constexpr int kLength = field_index(fields::kStation, "length");
  TrainState& t = run.train;
  const std::int32_t n = t.station;
  ScenarioSlot& slot = run.model.scenario_slots[static_cast<std::size_t>(n)];

  slot.num3 = run.number<std::int32_t>();
  const std::int32_t pos = slot.num3;
  // A station reaches 800 m beyond its position.
  if (!run.in_range(pos, 800)) {
    return run.raise(fault::kBeyondGrid, kPosition, pos);
  }
  if (pos % 50 != 0) {
    return run.raise(fault::kStationPosition, kPosition, pos);
  }

  slot.kind = run.number<std::uint8_t>();
  const auto len = run.number<std::int32_t>();
  if (len % 100 != 0) {
    return run.raise(fault::kStationLength, kLength, pos);
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
  slot.name = slot_text(run.text());
  slot.num4 = checked<std::int32_t>((std::int64_t{hours} * 60 + minutes) * 60 + seconds);

  // The station's extent along the line.
  const std::uint8_t kind = slot.kind;
  if (kind == 5 || kind == 6) {
    slot.num1 = checked<std::int32_t>(std::int64_t{pos} - len);
    slot.num2 = checked<std::int32_t>(std::int64_t{pos} + 150);
    slot.byte3 = 0;
  } else if (kind == 7 || kind == 8) {
    slot.num1 = checked<std::int32_t>(std::int64_t{pos} - len);
    slot.num2 = checked<std::int32_t>(std::int64_t{pos} + len);
    slot.byte3 = 0;
  } else {
    slot.num1 = checked<std::int32_t>(std::int64_t{pos} - len / 2);
    slot.num2 = checked<std::int32_t>(std::int64_t{pos} + len / 2 +
                                      (slot.byte3 != 0 ? 50 : 0));
  }
  if (len < 600) slot.byte4 = 0;
  if (n == 1) {
    slot.byte4 = 0;
    slot.byte3 = 0;
  }

  // Kinds from 25 up occupy a slot but place nothing on the grid. The
  // marker goes on the cell 100 m before the end of the extent, the four
  // approach codes on the cells just below it.
  if (kind < 25) {
    const std::int64_t end = slot.num2;
    const std::int64_t marker = round_div_even(end - 50, 50);
    if (end > 100 && marker > run.last_cell()) {
      return run.raise(
          fault::kBeyondGrid, kPosition, pos, std::nullopt,
          {FaultCause::kMarksOutsideGrid, marker, 0, run.last_cell()});
    }
    if (kind != 5 && kind != 6) {
      for (int k = 1; k <= 4; ++k) {
        // q = end / 50 - k - 1, computed exactly; written only above cell 1.
        if (end > 50 * (k + 2)) {
          run.cell(round_div_even(end - 50 * (k + 1), 50)).approach = wrap8(80 + k);
        }
      }
    }
    if (end <= 100) {
      return run.raise(fault::kStationTooEarly, kPosition);
    }
    TrackCell& cell = run.cell(marker);
    cell.kind = cell_kind::kStationMarker;
    cell.value1 = static_cast<std::int16_t>(n);
    run.placed(marker, kPosition);
  }

  if (n > 1 &&
      std::int64_t{slot.num1} - 350 <
          run.model.scenario_slots[static_cast<std::size_t>(n - 1)].num2) {
    return run.raise(fault::kStationsTooClose, kPosition, pos);
  }
  t.station = n + 1;
  // Stations fill the slots upward and must stay below the signboard texts.
  if (t.station >= run.line.sign_slot_cursor) {
    return run.raise(fault::kTooManyStations);
  }
  return Flow::kGoOn;
}

bool compile_train_source(CompileRun& run) {
  std::string text;
  run.begin_source(SourceKind::kTrain, {});
  if (run.sources.load(SourceKind::kTrain, text) != SourceStore::Status::kOk) {
    throw failure_of(FaultCause::kSourceUnreadable);
  }
  run.begin_source(SourceKind::kTrain, std::move(text));
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
