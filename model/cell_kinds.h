// The kinds of object a track cell holds: the table of every kind (from
// cell_kinds.def, its one home) with the names and places the tools give
// it, and the named constants the compiler and the finishing pass use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace scenc {

// The band of the plot a kind is drawn in: the gradient's profile, or one
// of the lanes of objects along the track, from the top down. Stations and
// free cells are drawn from elsewhere or not at all.
enum class CellLane : std::uint8_t {
  kNone,
  kProfile,
  kSignals,
  kBoards,
  kSignboards,
  kSlowOrders,
  kMarks,
};

// One row of the table of cell kinds.
struct CellKindInfo {
  std::uint8_t kind;
  std::string_view name;  // as the dump and the plots show it
  const char* standing;   // "a signal"; null: the cell stays free
  const char* key;        // the page script's name, or null
  CellLane lane;
  const char* legend;  // the legend's line, or null
};

// The kinds by name: cell_kind::kSignal is 1.
namespace cell_kind {
#define CELL_KIND(number, constant, name, standing, key, lane, legend) \
  inline constexpr std::uint8_t constant = number;
#include "model/cell_kinds.def"
#undef CELL_KIND
}  // namespace cell_kind

inline constexpr CellKindInfo kCellKinds[] = {
#define CELL_KIND(number, constant, name, standing, key, lane, legend) \
  {number, name, standing, key, CellLane::lane, legend},
#include "model/cell_kinds.def"
#undef CELL_KIND
};

// Each kind has exactly one row: the rows stand in ascending order of
// their numbers, none twice, each number a byte.
constexpr bool cell_kinds_ascend() {
  for (std::size_t i = 1; i < std::size(kCellKinds); ++i) {
    if (kCellKinds[i].kind <= kCellKinds[i - 1].kind) return false;
  }
  return true;
}
static_assert(cell_kinds_ascend(),
              "cell_kinds.def: one row per kind, ascending");

// The row of `kind`, or null for a byte no kind has.
constexpr const CellKindInfo* cell_kind_info(std::uint8_t kind) {
  for (const CellKindInfo& k : kCellKinds) {
    if (k.kind == kind) return &k;
  }
  return nullptr;
}

// The kind's name; a byte no kind has is named by its number ("kind 7").
inline std::string cell_kind_name(std::uint8_t kind) {
  if (const CellKindInfo* k = cell_kind_info(kind)) return std::string(k->name);
  return "kind " + std::to_string(kind);
}

}  // namespace scenc
