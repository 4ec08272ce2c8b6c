#include "compiler/marks.h"

namespace scenc {
namespace {

bool outside(CompileRun& run, std::int64_t cell) {
  return cell < 0 || cell > run.last_cell();
}

std::int32_t raise(CompileRun& run, std::int32_t code) {
  run.m.error_code = code;
  return code;
}

}  // namespace

bool signal_leaves_grid(CompileRun& run, std::int32_t posizione) {
  return outside(run, cell_index(posizione));
}

bool slow_order_leaves_grid(CompileRun& run, std::int32_t x, std::int32_t l) {
  return outside(run, cell_index(x)) ||
         outside(run, cell_index(std::int64_t{x} + l));
}

bool abbattimento_leaves_grid(CompileRun& run, std::int32_t position) {
  return outside(run, round_div_even(position, 50));
}

std::int32_t memo_segnale(CompileRun& run, std::int32_t posizione,
                          std::int32_t sx, std::int32_t s1, std::int32_t s2,
                          std::int32_t s3, std::int32_t rapp, std::int32_t dx,
                          std::int32_t d1, std::int32_t d2, std::int32_t d3,
                          std::int32_t tempo) {
  const std::int64_t i = cell_index(posizione);
  TrackCell& cell = run.cell(i);
  if (!cell.is_free()) return raise(run, 16);
  cell.kind = cell_kind::kSignal;
  cell.value4 = wrap16(std::int64_t{rapp} * 10 + std::int64_t{sx} * 3 + dx);
  cell.value1 = wrap16(std::int64_t{s1} * 10 + d1);
  cell.value2 = wrap16(std::int64_t{s2} * 10 + d2);
  cell.value3 = wrap16(std::int64_t{s3} * 10 + d3);
  // Short times are raised to the shortest the simulator honours.
  if (tempo >= 1 && tempo <= 100) tempo = 101;
  cell.signal_time = sx == 2 ? wrap8(tempo) : 0;
  run.m.row_of_cell.emplace_back(static_cast<std::int32_t>(i), run.row);
  // Approach codes 100 to 400 m before the signal, whatever those cells
  // hold; those before the start of the grid are left out.
  for (int k = 1; k <= 4; ++k) {
    const std::int64_t a = i - 2 * k;
    if (a < 0) continue;
    run.cell(a).approach = wrap8((std::int64_t{sx} * 3 + dx) * 10 + k);
  }
  return 0;
}

std::int32_t memo_rallentamento(CompileRun& run, std::int32_t x,
                                std::int32_t v, std::int32_t l,
                                std::int32_t f_tt, std::int32_t f_ta,
                                std::int32_t d_v) {
  const bool warned = x > 1500;  // no warning before the line's first 1500 m
  const std::int64_t s = cell_index(x);
  const std::int64_t e = cell_index(std::int64_t{x} + l);
  const std::int64_t w = warned ? cell_index(std::int64_t{x} - 1200) : 0;
  const std::int64_t a = warned ? round_div_even(std::int64_t{x} - 1200, 50) : 0;

  if (warned && !run.cell(w).is_free()) return raise(run, 17);
  if (!run.cell(s).is_free()) return raise(run, 18);
  if (!run.cell(e).is_free()) return raise(run, 19);

  // End before start: when both fall in one cell it ends as a start cell.
  TrackCell& end = run.cell(e);
  end.kind = cell_kind::kSlowOrderEnd;
  if (d_v != 0) end.value2 = wrap16(d_v);
  TrackCell& start = run.cell(s);
  start.kind = cell_kind::kSlowOrderStart;
  if (d_v != 0) start.value2 = wrap16(d_v);
  run.m.row_of_cell.emplace_back(static_cast<std::int32_t>(s), run.row);
  if (warned) {
    TrackCell& warning = run.cell(w);
    warning.kind = cell_kind::kSlowOrderWarning;
    if (d_v != 0) warning.value2 = wrap16(d_v);
    warning.value1 = wrap16(v);
    run.m.row_of_cell.emplace_back(static_cast<std::int32_t>(w), run.row);
  }
  start.value1 = wrap16(v);
  end.value1 = wrap16(v);
  start.value3 = wrap16(f_tt);
  end.value3 = wrap16(f_tt);

  if (warned && f_ta != 0) {
    for (int j = 0; j < 4; ++j) {
      if (!run.cell(a - j).is_free()) return raise(run, 20);
    }
    for (int j = 0; j < 4; ++j) {
      TrackCell& approach = run.cell(a - j);
      approach.kind = cell_kind::kSlowOrderApproach;
      approach.value1 = static_cast<std::int16_t>(j + 1);
      if (d_v != 0) approach.value2 = static_cast<std::int16_t>(j + 1);
    }
  }
  return 0;
}

std::int32_t memo_abbattimento(CompileRun& run, std::int32_t position,
                               std::int32_t value) {
  TrackCell& cell = run.cell(round_div_even(position, 50));
  if (!cell.is_free()) return raise(run, 7);
  if (value > 0) {
    cell.kind = cell_kind::kAbbattimento;
    cell.value1 = wrap16(value);
  } else {
    cell.kind = cell_kind::kAbbattimentoZero;
  }
  return 0;
}

}  // namespace scenc
