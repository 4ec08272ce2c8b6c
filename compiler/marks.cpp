#include "compiler/marks.h"

#include "compiler/distances.h"

namespace scenc {
namespace {

bool outside(CompileRun& run, std::int64_t cell) {
  return cell < 0 || cell > run.last_cell();
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
  return outside(run, round_div_even(position, kCellLength));
}

Flow memo_segnale(CompileRun& run, std::int32_t posizione, std::int32_t sx,
                  std::int32_t s1, std::int32_t s2, std::int32_t s3,
                  std::int32_t rapp, std::int32_t dx, std::int32_t d1,
                  std::int32_t d2, std::int32_t d3, std::int32_t tempo) {
  const std::int64_t i = cell_index(posizione);
  TrackCell& cell = run.cell(i);
  if (!cell.is_free()) {
    return run.raise(fault::kSignalCellTaken, kSignalPosition, posizione, i);
  }
  using fields::kSignal;
  cell.kind = cell_kind::kSignal;
  cell.value4 = wrap16(std::int64_t{rapp} * 10 + std::int64_t{sx} * 3 + dx);
  cell.value1 = wrap16(std::int64_t{s1} * 10 + d1);
  cell.value2 = wrap16(std::int64_t{s2} * 10 + d2);
  cell.value3 = wrap16(std::int64_t{s3} * 10 + d3);
  // Short times are raised to the shortest the simulator honours.
  if (tempo >= 1 && tempo <= 100) {
    if (run.observer != nullptr && sx == 2) {
      Decision d;
      d.kind = Decision::Kind::kRaised;
      d.field = field_index(kSignal, "tempo");
      d.written = tempo;
      d.value = 101;
      run.decided(d);
    }
    tempo = 101;
  }
  cell.signal_time = sx == 2 ? wrap8(tempo) : 0;
  run.placed(i, kSignalPosition);
  run.stored_in_cell(i, "kind", cell.kind, kSignalPosition);
  run.stored_in_cell(i, "value1", cell.value1, field_index(kSignal, "s1"));
  run.stored_in_cell(i, "value2", cell.value2, field_index(kSignal, "s2"));
  run.stored_in_cell(i, "value3", cell.value3, field_index(kSignal, "s3"));
  run.stored_in_cell(i, "value4", cell.value4, field_index(kSignal, "rapp"));
  run.stored_in_cell(i, "signal_time", cell.signal_time,
                     field_index(kSignal, "tempo"));
  // Approach codes 100 to 400 m before the signal, whatever those cells
  // hold; those before the start of the grid are left out.
  for (int k = 1; k <= 4; ++k) {
    const std::int64_t a = i - 2 * k;
    if (a < 0) continue;
    TrackCell& approach = run.cell(a);
    approach.approach = wrap8((std::int64_t{sx} * 3 + dx) * 10 + k);
    run.stored_in_cell(a, "approach", approach.approach,
                       field_index(kSignal, "sx"));
  }
  return Flow::kGoOn;
}

Flow memo_rallentamento(CompileRun& run, std::int32_t x, std::int32_t v,
                        std::int32_t l, std::int32_t f_tt, std::int32_t f_ta,
                        std::int32_t d_v) {
  constexpr int kLength = field_index(fields::kSlowOrder, "l");
  const bool warned = x > 1500;  // no warning before the line's first 1500 m
  const std::int64_t s = cell_index(x);
  const std::int64_t e = cell_index(std::int64_t{x} + l);
  const std::int64_t w =
      warned ? cell_index(std::int64_t{x} - kWarningDistance) : 0;
  const std::int64_t a =
      warned ? round_div_even(std::int64_t{x} - kWarningDistance, kCellLength)
             : 0;
  const auto taken = [&](std::int32_t code, std::int64_t c,
                         int field = kSlowOrderPosition) {
    return run.raise(code, field, x, c);
  };

  if (warned && !run.cell(w).is_free())
    return taken(fault::kWarningCellTaken, w);
  if (!run.cell(s).is_free()) return taken(fault::kSlowOrderStartTaken, s);
  if (!run.cell(e).is_free())
    return taken(fault::kSlowOrderEndTaken, e, kLength);

  // End before start: when both fall in one cell it ends as a start cell.
  TrackCell& end = run.cell(e);
  end.kind = cell_kind::kSlowOrderEnd;
  if (d_v != 0) end.value2 = wrap16(d_v);
  run.placed(e, kLength);
  TrackCell& start = run.cell(s);
  start.kind = cell_kind::kSlowOrderStart;
  if (d_v != 0) start.value2 = wrap16(d_v);
  run.placed(s, kSlowOrderPosition);
  if (warned) {
    TrackCell& warning = run.cell(w);
    warning.kind = cell_kind::kSlowOrderWarning;
    if (d_v != 0) warning.value2 = wrap16(d_v);
    warning.value1 = wrap16(v);
    run.placed(w, kSlowOrderPosition);
  }
  start.value1 = wrap16(v);
  end.value1 = wrap16(v);
  start.value3 = wrap16(f_tt);
  end.value3 = wrap16(f_tt);
  if (run.observer != nullptr) {
    constexpr int kV = field_index(fields::kSlowOrder, "v");
    for (const auto& [c, what] : {std::pair{e, &end}, std::pair{s, &start}}) {
      run.stored_in_cell(c, "kind", what->kind,
                         c == e ? kLength : kSlowOrderPosition);
      run.stored_in_cell(c, "value1", what->value1, kV);
      run.stored_in_cell(c, "value2", what->value2,
                         field_index(fields::kSlowOrder, "d_v"));
      run.stored_in_cell(c, "value3", what->value3,
                         field_index(fields::kSlowOrder, "f_tt"));
    }
    if (warned) {
      run.stored_in_cell(w, "kind", cell_kind::kSlowOrderWarning,
                         kSlowOrderPosition);
      run.stored_in_cell(w, "value1", wrap16(v), kV);
    }
  }

  if (warned && f_ta != 0) {
    for (int j = 0; j < 4; ++j) {
      if (!run.cell(a - j).is_free()) {
        return taken(fault::kApproachCellsTaken, a - j);
      }
    }
    for (int j = 0; j < 4; ++j) {
      TrackCell& approach = run.cell(a - j);
      approach.kind = cell_kind::kSlowOrderApproach;
      approach.value1 = static_cast<std::int16_t>(j + 1);
      if (d_v != 0) approach.value2 = static_cast<std::int16_t>(j + 1);
      run.placed(a - j, kSlowOrderPosition);
      run.stored_in_cell(a - j, "kind", approach.kind,
                         field_index(fields::kSlowOrder, "f_ta"));
      run.stored_in_cell(a - j, "value1", approach.value1,
                         field_index(fields::kSlowOrder, "f_ta"));
    }
  }
  return Flow::kGoOn;
}

Flow memo_abbattimento(CompileRun& run, std::int32_t position,
                       std::int32_t value) {
  const std::int64_t c = round_div_even(position, kCellLength);
  TrackCell& cell = run.cell(c);
  if (!cell.is_free()) {
    return run.raise(fault::kAbbattimentoCellTaken, kAbbattimentoPosition,
                     position, c);
  }
  if (value > 0) {
    cell.kind = cell_kind::kAbbattimento;
    cell.value1 = wrap16(value);
    run.stored_in_cell(c, "value1", cell.value1,
                       field_index(fields::kAbbattimento, "value"));
  } else {
    cell.kind = cell_kind::kAbbattimentoZero;
  }
  run.placed(c, kAbbattimentoPosition);
  run.stored_in_cell(c, "kind", cell.kind, kAbbattimentoPosition);
  return Flow::kGoOn;
}

}  // namespace scenc
