// The marks that train rows place on the grid: signals, slow orders and
// abbattimento marks. Each returns what the row loop does next: on a fault
// the mark records it through the run and writes nothing more.
#pragma once

#include <cstdint>

#include "compiler/compile_run.h"

namespace scenc {

// The field of each row that places its mark.
inline constexpr int kSignalPosition =
    field_index(fields::kSignal, "posizione");
inline constexpr int kSlowOrderPosition = field_index(fields::kSlowOrder, "x");
inline constexpr int kAbbattimentoPosition =
    field_index(fields::kAbbattimento, "position");

// A signal at `posizione`: the signal cell with its packed codes and time,
// and approach codes on the four cells 100 to 400 m before it.
Flow memo_segnale(CompileRun& run, std::int32_t posizione, std::int32_t sx,
                  std::int32_t s1, std::int32_t s2, std::int32_t s3,
                  std::int32_t rapp, std::int32_t dx, std::int32_t d1,
                  std::int32_t d2, std::int32_t d3, std::int32_t tempo);

// A slow order from `x` over `l` metres at speed `v`: start and end cells,
// and beyond 1500 m the warning 1200 m before and its approach cells.
Flow memo_rallentamento(CompileRun& run, std::int32_t x, std::int32_t v,
                        std::int32_t l, std::int32_t f_tt, std::int32_t f_ta,
                        std::int32_t d_v);

// An abbattimento mark of value `value` at `position`.
Flow memo_abbattimento(CompileRun& run, std::int32_t position,
                       std::int32_t value);

// Whether a row's marks would leave the grid; such a row fails the range
// rule before it writes anything.
bool signal_leaves_grid(CompileRun& run, std::int32_t posizione);
bool slow_order_leaves_grid(CompileRun& run, std::int32_t x, std::int32_t l);
bool abbattimento_leaves_grid(CompileRun& run, std::int32_t position);

}  // namespace scenc
