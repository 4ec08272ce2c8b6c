// The marks that train rows place on the grid: signals, slow orders and
// abbattimento marks. Each returns the fault it raised (0 when none), which
// it has also stored in `error_code`; on a fault nothing more is written.
#pragma once

#include <cstdint>

#include "compiler/compile_run.h"

namespace scenc {

// A signal at `posizione`: the signal cell with its packed codes and time,
// and approach codes on the four cells 100 to 400 m before it.
std::int32_t memo_segnale(CompileRun& run, std::int32_t posizione,
                          std::int32_t sx, std::int32_t s1, std::int32_t s2,
                          std::int32_t s3, std::int32_t rapp, std::int32_t dx,
                          std::int32_t d1, std::int32_t d2, std::int32_t d3,
                          std::int32_t tempo);

// A slow order from `x` over `l` metres at speed `v`: start and end cells,
// and beyond 1500 m the warning 1200 m before and its approach cells.
std::int32_t memo_rallentamento(CompileRun& run, std::int32_t x,
                                std::int32_t v, std::int32_t l,
                                std::int32_t f_tt, std::int32_t f_ta,
                                std::int32_t d_v);

// An abbattimento mark of value `value` at `position`.
std::int32_t memo_abbattimento(CompileRun& run, std::int32_t position,
                               std::int32_t value);

// Whether a row's marks would leave the grid; such a row fails the range
// rule before it writes anything.
bool signal_leaves_grid(CompileRun& run, std::int32_t posizione);
bool slow_order_leaves_grid(CompileRun& run, std::int32_t x, std::int32_t l);
bool abbattimento_leaves_grid(CompileRun& run, std::int32_t position);

}  // namespace scenc
