// The line stage of the compile: the general section of the line source, the
// kilometric progressives, and the body rows (gradients, curves, mountains,
// speed-indicator boards, signboards) with the fills that close the line.
#include <algorithm>
#include <cmath>
#include <limits>

#include "compiler/compile_run.h"
#include "model/curve_classes.h"

namespace scenc {
namespace {

constexpr std::int32_t kLongestLine = 1000000;

// A keyword row: the field must contain `word` (and `also`, when given).
struct RowKeyword {
  std::string_view word;
  std::string_view also;
  bool case_sensitive;
  Flow (*compile)(CompileRun&, std::string_view keyword);

  bool matches(std::string_view field) const {
    const auto has = [&](std::string_view w) {
      return w.empty() ||
             (case_sensitive ? contains(field, w) : contains_ignoring_case(field, w));
    };
    return has(word) && has(also);
  }
};

// Runs every row of `table` that the keyword field matches, in order: the
// tests are not exclusive, so one field may compile several rows, each
// reading its own numbers.
template <std::size_t N>
Flow compile_rows(CompileRun& run, const RowKeyword (&table)[N],
                  std::string_view keyword) {
  for (const RowKeyword& row : table) {
    if (!row.matches(keyword)) continue;
    const Flow flow = row.compile(run, keyword);
    if (flow != Flow::kGoOn) return flow;
  }
  return Flow::kGoOn;
}

// ---- General section ----------------------------------------------------

Flow length_row(CompileRun& run, std::string_view) {
  const auto length = run.reader.read_number<std::int32_t>();
  run.m.scenario_slots[kConsistSlot].num2 = length;
  // A negative length is refused like one that is too long: no grid exists.
  if (length > kLongestLine || length < 0) return run.end_call(1);
  // Nothing reads the grid or the plan before the general section ends, so
  // a later length row only replaces the length to allocate for. Allocating
  // once, when the section ends, keeps a source of many length rows from
  // costing a whole grid and plan per row.
  run.pending_length = length;
  return Flow::kGoOn;
}

template <int kSlot>
Flow progressive_row(CompileRun& run, std::string_view) {
  ScenarioSlot& slot = run.m.scenario_slots[kSlot];
  slot.num1 = run.reader.read_number<std::int32_t>();
  slot.num2 = run.reader.read_number<std::int32_t>();
  slot.num3 = run.reader.read_number<std::int32_t>();
  run.progressive_rows[kSlot - 81] = {run.row, slot.num1, slot.num2};
  return Flow::kGoOn;
}

template <std::int32_t ScenarioSlot::*kField>
Flow background_row(CompileRun& run, std::string_view) {
  run.m.scenario_slots[kLineSlot].*kField = run.reader.read_number<std::int32_t>();
  return Flow::kGoOn;
}

Flow signal_repetition_row(CompileRun& run, std::string_view keyword) {
  ScenarioSlot& slot = run.m.scenario_slots[kTrainSlot];
  slot.num1 = run.reader.read_number<std::int32_t>();
  slot.num2 = run.reader.read_number<std::int32_t>();
  if (slot.num1 % 50 != 0) return run.end_call(3);
  if (slot.num2 % 50 != 0) return run.end_call(4);
  if (contains(keyword, "4")) {
    slot.num3 = 4;
  } else if (contains(keyword, "9")) {
    slot.num3 = 9;
  } else {
    return run.end_call(5);
  }
  if (slot.num2 == 0) slot.num3 = 0;
  return Flow::kGoOn;
}

// Tested in this order on every field of the general section. The
// progressive and background rows share words ("uno", "due", "tre") and are
// told apart by their second word; the case of those words matters.
constexpr RowKeyword kGeneralRows[] = {
    {"percorso", "lunghezza", false, length_row},
    {"tre", "progressiva", true, progressive_row<81>},
    {"due", "progressiva", true, progressive_row<82>},
    {"uno", "progressiva", true, progressive_row<83>},
    {"sfondo", "uno", true, background_row<&ScenarioSlot::num1>},
    {"sfondo", "due", true, background_row<&ScenarioSlot::num3>},
    {"sfondo", "tre", true, background_row<&ScenarioSlot::num2>},
    {"segnali", "ripetizione", true, signal_repetition_row},
};

bool is_section_header(std::string_view field) {
  // The reader has already skipped the field's leading blanks.
  return contains(field, "[") && contains(field, "]") &&
         (field.empty() || field[0] != '-');
}

// ---- Body ---------------------------------------------------------------

// Draws the metres from the cursor up to `last`, each from the two metres
// before it, turning the step by `turn` radians per metre. The sums are
// written out in this exact order, since the geometry file is compared byte
// for byte; the last two points are carried from metre to metre rather than
// read back, which gives the same doubles.
void draw_metres(LineProfile& p, std::int64_t& cursor, std::int64_t last,
                 double turn) {
  if (cursor > last) return;
  double x0 = p.value(0, cursor - 2);
  double x1 = p.value(0, cursor - 1);
  double y0 = p.value(1, cursor - 2);
  double y1 = p.value(1, cursor - 1);
  const LineProfile::DoubleRun run = p.double_run(cursor, last);
  const std::int64_t count = last - cursor + 1;
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  for (std::int64_t i = 0; i < count; ++i) {
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    double x;
    double y;
    if (turn == 0.0 && std::fabs(dx) > 0.0 && std::fabs(dx) < kInfinity &&
        std::fabs(dy) > 0.0 && std::fabs(dy) < kInfinity) {
      // On a straight run the turn's product is a zero, and adding a zero
      // leaves a non-zero finite step exactly as it is: the same doubles,
      // with half the additions in the chain that carries metre to metre.
      x = x1 + dx;
      y = y1 + dy;
    } else {
      x = x1 + (dx + turn * dy);
      y = y1 + (dy - turn * dx);
    }
    run.x[i] = x;
    run.y[i] = y;
    x0 = x1;
    x1 = x;
    y0 = y1;
    y1 = y;
  }
  cursor = last + 1;
}

Flow gradient_row(CompileRun& run, std::string_view) {
  const auto position = run.reader.read_number<std::int32_t>();
  const auto gradient = run.reader.read_number<std::int32_t>();
  if (!run.in_range(position)) return run.stop_rows(position);
  const std::int64_t n = round_div_even(position, 50);
  if (n > 0) {
    // The cell at the cursor is written at least once, even when the row's
    // cell lies behind it.
    do {
      run.cell(run.gradient_cursor).gradient =
          wrap8(std::int64_t{run.previous_gradient} + 100);
      ++run.gradient_cursor;
    } while (run.gradient_cursor < n);
  }
  run.previous_gradient = gradient;
  return Flow::kGoOn;
}

// Advances the plan from the cursor up to metre `to` with `turn`; a curve
// stops at the last metre of the plan. False when the plan passes the
// longest line.
bool extend_profile(CompileRun& run, std::int64_t to, double turn) {
  LineProfile& profile = run.m.line_profile;
  draw_metres(profile, run.profile_cursor,
              std::min({to, profile.metre_count() - 1, std::int64_t{kLongestLine}}),
              turn);
  // Past the last metre of the plan nothing is drawn, but the cursor still
  // counts every metre up to the curve's end: a curve that ends beyond the
  // longest line fails on a short line too. Counted, not walked.
  if (to >= run.profile_cursor) run.profile_cursor = to + 1;
  return run.profile_cursor <= kLongestLine;
}

double curvature_of(std::string_view keyword) {
  // The first class digit found in this order decides: classes 1 to 6 stand
  // for radii of 10000, 5000, 2500, 1000, 500 and about 333 metres.
  constexpr std::string_view kDigits[] = {"1", "2", "3", "4", "5", "6"};
  for (int c = 1; c <= 6; ++c) {
    if (contains(keyword, kDigits[c - 1])) return curve_class_turn(c);
  }
  return 0.0;
}

Flow curve_row(CompileRun& run, std::string_view keyword) {
  // Without a plan to draw, a curve row is not recognised at all: its
  // numbers are then read as fields that match nothing.
  if (run.m.write_line_file == 0) return Flow::kGoOn;
  const auto start = run.reader.read_number<std::int32_t>();
  const auto length = run.reader.read_number<std::int32_t>();
  if (!run.in_range(start)) return run.stop_rows(start);
  double k = curvature_of(keyword);
  if (k == 0.0) return run.end_call(103);
  // Only the letter s is tested for the side: it turns the other way.
  if (contains_ignoring_case(keyword, "s")) k = -k;
  if (!run.m.line_profile.exists()) throw GeneralFailure{};
  if (!extend_profile(run, start, 0.0) ||
      !extend_profile(run, std::int64_t{start} + length, k)) {
    return run.end_call(103);
  }
  return Flow::kGoOn;
}

void memo_montagna(CompileRun& run, std::int32_t inizio, std::int32_t fine,
                   std::int32_t& tipo) {
  bool markers = false;
  if (tipo > 10) {
    tipo -= 10;
    markers = true;
  }
  ++run.mountain_counter;
  // Two mountains less than 150 m apart join into one of type 3.
  if (run.mountain_counter > 1 &&
      std::int64_t{inizio} - run.previous_mountain_end <= 150) {
    tipo = 3;
  }
  run.previous_mountain_end = fine;
  const std::int64_t first = round_div_even(inizio, 50);
  // The end cell is fine / 50 - 1 rounded as a whole: a mountain ending at
  // 225 m ends on cell 4 (3.5 rounds to 4), one ending at 275 m on cell 4.
  const std::int64_t last = round_div_even(std::int64_t{fine} - 50, 50);
  // Cells outside the grid are left out; the count of every fourth cell
  // still starts at the mountain's first cell.
  const std::int64_t from = std::max<std::int64_t>(first, 0);
  const std::int64_t to = std::min<std::int64_t>(last, run.last_cell());
  for (std::int64_t c = from; c <= to; ++c) {
    TrackCell& cell = run.cell(c);
    cell.mountain = wrap8(tipo);
    const std::int64_t j = c - first + 1;
    if (markers && j % 4 == 0 && cell.kind == cell_kind::kFree) {
      cell.kind = cell_kind::kMountainMarker;
    }
  }
}

Flow mountain_row(CompileRun& run, std::string_view) {
  const auto inizio = run.reader.read_number<std::int32_t>();
  const auto fine = run.reader.read_number<std::int32_t>();
  auto tipo = run.reader.read_number<std::int32_t>();
  if (!run.in_range(inizio)) return run.stop_rows(inizio);
  memo_montagna(run, inizio, fine, tipo);
  return Flow::kGoOn;
}

// Two speeds in km/h packed into one value: the s speed / 5 in the hundreds
// and the d speed / 5 in the units.
std::int16_t board_speeds(std::int32_t s, std::int32_t d) {
  return checked<std::int16_t>(round_div_even(std::int64_t{s} * 100 + d, 5));
}

void memo_indicatori_v_max(CompileRun& run, std::int32_t posizione,
                           const std::int32_t& vas, const std::int32_t& vbs,
                           const std::int32_t& vcs, const std::int32_t& strisces,
                           const std::int32_t& vad, const std::int32_t& vbd,
                           const std::int32_t& vcd, const std::int32_t& strisced) {
  TrackCell& cell = run.cell(cell_index(posizione));
  if (!cell.is_free()) {
    run.m.error_code = 21;
    return;
  }
  cell.kind = cell_kind::kSpeedBoard;
  cell.value1 = board_speeds(vas, vad);
  cell.value2 = board_speeds(vbs, vbd);
  cell.value3 = board_speeds(vcs, vcd);
  // The stripes are packed on 16 bits and wrap.
  cell.value4 = wrap16(std::int64_t{wrap16(strisces)} * 10 + wrap16(strisced));
}

Flow speed_board_row(CompileRun& run, std::string_view) {
  std::int32_t v[9];
  for (auto& x : v) x = run.reader.read_number<std::int32_t>();
  const std::int32_t posizione = v[0];
  if (!run.in_range(posizione) || cell_index(posizione) < 0) {
    return run.stop_rows(posizione);
  }
  memo_indicatori_v_max(run, posizione, v[1], v[2], v[3], v[4], v[5], v[6],
                        v[7], v[8]);
  if (run.m.error_code > 0) return run.end_call(run.m.error_code, posizione);
  return Flow::kGoOn;
}

Flow signboard_row(CompileRun& run, std::string_view) {
  const auto position = run.reader.read_number<std::int32_t>();
  const std::string_view text = run.reader.read_text_field();
  if (!run.in_range(position) || cell_index(position) < 0) {
    return run.stop_rows(position);
  }
  TrackCell& cell = run.cell(cell_index(position));
  if (!cell.is_free()) return run.end_call(6, position);
  cell.kind = cell_kind::kSignboard;
  cell.value1 = wrap16(run.sign_slot_cursor);
  // Signboard texts take the slots from 80 downward; one more than the
  // slots hold is the general failure.
  if (run.sign_slot_cursor < 0) throw GeneralFailure{};
  run.m.scenario_slots[static_cast<std::size_t>(run.sign_slot_cursor)].name =
      slot_text(text);
  --run.sign_slot_cursor;
  return Flow::kGoOn;
}

// Tested in this order on every field of the body, ignoring case. A speed
// board ("indicatori_vmax") contains "indicat" but not "cartello", so it is
// never also a signboard.
constexpr RowKeyword kBodyRows[] = {
    {"pendenza", {}, false, gradient_row},
    {"curva", {}, false, curve_row},
    {"montagna", {}, false, mountain_row},
    {"indicatori_v", {}, false, speed_board_row},
    {"cartello", "indicat", false, signboard_row},
};

// ---- Closing fills ------------------------------------------------------

void closing_fills(CompileRun& run) {
  // The last gradient holds up to cell N - 3.
  const std::int64_t n = run.last_cell();
  do {
    run.cell(run.gradient_cursor).gradient =
        wrap8(std::int64_t{run.previous_gradient} + 100);
    ++run.gradient_cursor;
  } while (run.gradient_cursor < n - 2);

  if (run.m.write_line_file != 0) {
    LineProfile& profile = run.m.line_profile;
    if (!profile.exists()) throw GeneralFailure{};
    // The last two metres stay empty unless a curve reached them.
    draw_metres(profile, run.profile_cursor, profile.metre_count() - 1 - 2, 0.0);
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
  Model& m = run.m;
  std::string text;
  switch (run.sources.load(SourceKind::kLine, text)) {
    case SourceStore::Status::kMissing:
      m.record_fault(101, std::nullopt, SourcePlace{SourceKind::kLine, 0, 0});
      return false;
    case SourceStore::Status::kUnreadable:
      run.line_found = true;
      run.source = SourceKind::kLine;
      throw GeneralFailure{};
    case SourceStore::Status::kOk:
      break;
  }
  run.line_found = true;
  run.begin_source(SourceKind::kLine, std::move(text));
  FieldReader& reader = run.reader;

  // Preamble: everything up to the first field that holds "[generale]".
  for (;;) {
    const std::string_view keyword = run.read_keyword();
    if (reader.at_end()) {
      run.end_call(102);
      return false;
    }
    if (contains_ignoring_case(keyword, "[generale]")) break;
  }

  // General section, up to the first section header. However it ends, the
  // grid and the plan of its last accepted length row exist afterwards.
  const auto allocate_for_pending_length = [&run] {
    if (!run.pending_length) return;
    const std::int32_t length = *run.pending_length;
    run.pending_length.reset();
    run.m.allocate_for_length(length);
  };
  try {
    while (!reader.at_end()) {
      std::string_view keyword = run.read_keyword();
      if (reader.at_end()) break;
      for (int i = 0; i < 10 && is_comment(keyword); ++i) keyword = run.read_keyword();
      if (compile_rows(run, kGeneralRows, keyword) == Flow::kEndCall) {
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
  run.mountain_counter = 0;
  run.sign_slot_cursor = kFirstSignboardSlot;
  run.gradient_cursor = 0;
  run.profile_cursor = 2;
  if (m.write_line_file != 0) {
    if (!m.line_profile.exists()) throw GeneralFailure{};
    m.line_profile.set_int16(0, 0, 0);
    m.line_profile.set_int16(1, 0, 0);
    m.line_profile.set_int16(0, 1, 0);
    m.line_profile.set_int16(1, 1, 1);
  }

  // Body: every row is recognised wherever it stands.
  std::string_view keyword;
  while (run.next_body_keyword(keyword)) {
    const Flow flow = compile_rows(run, kBodyRows, keyword);
    if (flow == Flow::kEndCall) return false;
    if (flow == Flow::kStopRows) break;
  }

  run.remove_source(SourceKind::kLine);
  closing_fills(run);
  return true;
}

}  // namespace scenc
