// The train stage of the compile: the train's general values, the speed
// limits and adhesion along the line, the stations with their timetable, and
// the signal, slow-order and abbattimento rows, then the fills that carry the
// last speed and adhesion to the end of the grid.
#include "compiler/compile_run.h"
#include "compiler/marks.h"

namespace scenc {
namespace {

struct TrainState {
  std::int32_t station = 1;  // slot of the next station
  std::int64_t speed_cursor = 0;
  std::int32_t current_speed = 0;
  std::int64_t adhesion_cursor = 0;
  std::int32_t current_adhesion = 0;
};

using Handler = Flow (*)(CompileRun&, TrainState&);

std::uint8_t speed_code(std::int32_t speed) {
  return checked<std::uint8_t>(round_div_even(speed, 5));
}

Flow braked_mass_row(CompileRun& run, TrainState&) {
  run.m.scenario_slots[kConsistSlot].num1 = run.reader.read_number<std::int32_t>();
  return Flow::kGoOn;
}

Flow cars_row(CompileRun& run, TrainState&) {
  run.m.scenario_slots[kConsistSlot].num3 = run.reader.read_number<std::int32_t>();
  return Flow::kGoOn;
}

Flow speed_limit_row(CompileRun& run, TrainState& t) {
  const auto position = run.reader.read_number<std::int32_t>();
  const auto speed = run.reader.read_number<std::int32_t>();
  if (!run.in_range(position)) return run.stop_rows(position);
  const std::int64_t m = round_div_even(position, 50);
  // The previous limit holds up to the cell before this row's; a row that
  // does not lie beyond the cursor still fills one cell.
  if (m > 0) {
    do {
      if (t.speed_cursor >= run.last_cell()) break;
      run.cell(t.speed_cursor).speed_limit = speed_code(t.current_speed);
      ++t.speed_cursor;
    } while (t.speed_cursor < m);
  }
  t.current_speed = speed;
  return Flow::kGoOn;
}

Flow adhesion_row(CompileRun& run, TrainState& t) {
  const auto position = run.reader.read_number<std::int32_t>();
  const auto value = run.reader.read_number<std::int32_t>();
  if (!run.in_range(position)) return run.stop_rows(position);
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

Flow clock_row(CompileRun& run, TrainState&) {
  ScenarioSlot& slot = run.m.scenario_slots[kTrainSlot];
  slot.word3 = run.reader.read_number<std::int16_t>();
  slot.word4 = run.reader.read_number<std::int16_t>();
  slot.word5 = run.reader.read_number<std::int16_t>();
  return Flow::kGoOn;
}

Flow sand_row(CompileRun& run, TrainState&) {
  run.m.scenario_slots[kTrainSlot].word1 = run.reader.read_number<std::int16_t>();
  return Flow::kGoOn;
}

// After a mark, only a fault raised by that mark ends the stage; a fault the
// line stage left stays recorded and the stage goes on.
Flow after_mark(CompileRun& run, std::int32_t fault, std::int32_t position) {
  if (fault == 0) return Flow::kGoOn;
  return run.end_call(fault, position);
}

Flow signal_row(CompileRun& run, TrainState&) {
  std::int32_t v[11];
  for (auto& x : v) x = run.reader.read_number<std::int32_t>();
  const std::int32_t posizione = v[0];
  if (!run.in_range(posizione) || signal_leaves_grid(run, posizione)) {
    return run.stop_rows(posizione);
  }
  return after_mark(run,
                    memo_segnale(run, posizione, v[1], v[2], v[3], v[4], v[5],
                                 v[6], v[7], v[8], v[9], v[10]),
                    posizione);
}

Flow slow_order_row(CompileRun& run, TrainState&) {
  std::int32_t v[6];
  for (auto& x : v) x = run.reader.read_number<std::int32_t>();
  const std::int32_t x = v[0];
  if (!run.in_range(x) || slow_order_leaves_grid(run, x, v[2])) {
    return run.stop_rows(x);
  }
  return after_mark(run, memo_rallentamento(run, x, v[1], v[2], v[3], v[4], v[5]),
                    x);
}

Flow abbattimento_row(CompileRun& run, TrainState&) {
  const auto position = run.reader.read_number<std::int32_t>();
  const auto value = run.reader.read_number<std::int32_t>();
  if (!run.in_range(position) || abbattimento_leaves_grid(run, position)) {
    return run.stop_rows(position);
  }
  return after_mark(run, memo_abbattimento(run, position, value), position);
}

Flow station_row(CompileRun& run, TrainState& t) {
  const std::int32_t n = t.station;
  ScenarioSlot& slot = run.m.scenario_slots[static_cast<std::size_t>(n)];
  FieldReader& r = run.reader;

  slot.num3 = r.read_number<std::int32_t>();
  const std::int32_t pos = slot.num3;
  // A station reaches 800 m beyond its position.
  if (!run.in_range(pos, 800)) return run.stop_rows(pos);
  if (pos % 50 != 0) return run.end_call(8, pos);

  slot.kind = r.read_number<std::uint8_t>();
  const auto len = r.read_number<std::int32_t>();
  if (len % 100 != 0) return run.end_call(9, pos);

  slot.flag = r.read_number<std::uint8_t>();
  slot.byte4 = r.read_number<std::uint8_t>();
  slot.byte3 = r.read_number<std::uint8_t>();
  slot.word1 = r.read_number<std::int16_t>();
  slot.word2 = r.read_number<std::int16_t>();
  slot.byte1 = r.read_number<std::uint8_t>();
  slot.word3 = r.read_number<std::int16_t>();
  slot.word4 = r.read_number<std::int16_t>();
  slot.word5 = r.read_number<std::int16_t>();
  slot.byte2 = r.read_number<std::uint8_t>();
  const auto hours = r.read_number<std::int32_t>();
  const auto minutes = r.read_number<std::int32_t>();
  const auto seconds = r.read_number<std::int32_t>();
  slot.name = slot_text(r.read_text_field());
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
    if (end > 100 && marker > run.last_cell()) return run.stop_rows(pos);
    if (kind != 5 && kind != 6) {
      for (int k = 1; k <= 4; ++k) {
        // q = end / 50 - k - 1, computed exactly; written only above cell 1.
        if (end > 50 * (k + 2)) {
          run.cell(round_div_even(end - 50 * (k + 1), 50)).approach = wrap8(80 + k);
        }
      }
    }
    if (end <= 100) return run.end_call(24);
    TrackCell& cell = run.cell(marker);
    cell.kind = cell_kind::kStationMarker;
    cell.value1 = static_cast<std::int16_t>(n);
  }

  if (n > 1 &&
      std::int64_t{slot.num1} - 350 < run.m.scenario_slots[static_cast<std::size_t>(n - 1)].num2) {
    return run.end_call(22, pos);
  }
  t.station = n + 1;
  // Stations fill the slots upward and must stay below the signboard texts.
  if (t.station >= run.sign_slot_cursor) return run.end_call(10);
  return Flow::kGoOn;
}

// Tested in this order on every field of the body, ignoring case and not
// exclusively: a field that holds several keywords compiles one row for
// each, each reading its own numbers. No section header holds a keyword.
constexpr struct {
  std::string_view word;
  std::string_view also;
  Handler compile;
} kTrainRows[] = {
    {"frenata", "massa", braked_mass_row},
    {"vetture", {}, cars_row},
    {"velocit", {}, speed_limit_row},
    {"aderenza", {}, adhesion_row},
    {"orologio", {}, clock_row},
    {"sabbia", {}, sand_row},
    {"segnale", {}, signal_row},
    {"rallentamento", {}, slow_order_row},
    {"abbattimento", {}, abbattimento_row},
    {"stazione", {}, station_row},
};

Flow compile_train_rows(CompileRun& run, TrainState& t, std::string_view keyword) {
  for (const auto& row : kTrainRows) {
    if (!contains_ignoring_case(keyword, row.word)) continue;
    if (!row.also.empty() && !contains_ignoring_case(keyword, row.also)) continue;
    const Flow flow = row.compile(run, t);
    if (flow != Flow::kGoOn) return flow;
  }
  return Flow::kGoOn;
}

// Carries the last speed limit and adhesion to cell N - 3 and checks the
// kilometric progressives.
void end_steps(CompileRun& run, TrainState& t) {
  run.remove_source(SourceKind::kTrain);
  const std::int64_t n = run.last_cell();
  // At least one cell is written; nothing beyond the grid.
  do {
    const std::uint8_t code = speed_code(t.current_speed);
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
    const ScenarioSlot& slot = run.m.scenario_slots[static_cast<std::size_t>(s)];
    if (slot.num1 % 50 == 0 && slot.num2 % 50 == 0) continue;
    // Point at the progressive row whose numbers are not whole 50 m steps.
    SourcePlace place;
    for (const auto& row : run.progressive_rows) {
      if (row.first % 50 != 0 || row.second % 50 != 0) {
        place = row.place;
        break;
      }
    }
    run.m.record_fault(2, std::nullopt, place);
    break;
  }
}

}  // namespace

bool compile_train_source(CompileRun& run) {
  std::string text;
  run.begin_source(SourceKind::kTrain, {});
  if (run.sources.load(SourceKind::kTrain, text) != SourceStore::Status::kOk) {
    throw GeneralFailure{};
  }
  run.begin_source(SourceKind::kTrain, std::move(text));
  FieldReader& reader = run.reader;

  // Preamble: everything up to and including the first "[generale]".
  for (;;) {
    const std::string_view keyword = run.read_keyword();
    if (reader.at_end() || contains_ignoring_case(keyword, "[generale]")) break;
  }

  TrainState t;
  // Body: every row is recognised wherever it stands.
  std::string_view keyword;
  while (run.next_body_keyword(keyword)) {
    const Flow flow = compile_train_rows(run, t, keyword);
    if (flow == Flow::kEndCall) return false;
    if (flow == Flow::kStopRows) break;
  }
  end_steps(run, t);
  return true;
}

}  // namespace scenc
