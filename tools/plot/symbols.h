// The colours and symbols of the plot, shared by its lanes and its legend.
// Each symbol is drawn centred on (x, y).
#pragma once

#include "tools/plot/scene.h"
#include "tools/plot/svg_writer.h"

namespace scenc::tools {

namespace colour {
inline constexpr const char* kTrack = "#1f2d3d";
inline constexpr const char* kMargin = "#9aa5b1";
inline constexpr const char* kStation = "#1f2d3d";
inline constexpr const char* kStationExtent = "#868e96";
inline constexpr const char* kSignal = "#c0392b";
inline constexpr const char* kBoard = "#1f5fa8";
inline constexpr const char* kSignboard = "#7d3c98";
inline constexpr const char* kUphill = "#d98c3a";
inline constexpr const char* kDownhill = "#3a9d5d";
inline constexpr const char* kMountain = "#c8b08a";
inline constexpr const char* kMountainMarker = "#8d6e3f";
inline constexpr const char* kSpeed = "#1f5fa8";
inline constexpr const char* kSlowOrder = "#e03131";
inline constexpr const char* kWarning = "#f2c200";
inline constexpr const char* kWarningEdge = "#5c4400";
inline constexpr const char* kApproach = "#868e96";
inline constexpr const char* kMark = "#e67700";
inline constexpr const char* kGrid = "#e3e7eb";
inline constexpr const char* kCurveRight = "#7048e8";
inline constexpr const char* kCurveLeft = "#0c8599";
inline constexpr const char* kHeights = "#5c7cfa";
inline constexpr const char* kGreyed = "#868e96";  // past a compile's stop
inline constexpr const char* kError = "#c92a2a";
inline constexpr const char* kWarningText = "#e8590c";
inline constexpr const char* kNoteText = "#1971c2";
}  // namespace colour

// A station's triangle: filled when a marker stands on the track for it.
void station_symbol(SvgWriter& s, double x, double y, bool with_marker);
void signal_symbol(SvgWriter& s, double x, double y);
void board_symbol(SvgWriter& s, double x, double y);
void signboard_symbol(SvgWriter& s, double x, double y);
void warning_symbol(SvgWriter& s, double x, double y);
void approach_symbol(SvgWriter& s, double x, double y);
void mark_symbol(SvgWriter& s, double x, double y);
void mountain_symbol(SvgWriter& s, double x, double y);
// How the picture draws a cell of each kind that has a symbol: the symbol,
// whether resting the pointer on it names its values (an approach cell, one
// of four in a row, does not), and the label above it in its lane. The
// lane and the legend's line are the kind's own (model/cell_kinds.def).
enum class LaneLabel : std::uint8_t { kNone, kWhereRoom, kAlways };
struct KindSymbol {
  std::uint8_t kind;
  void (*draw)(SvgWriter& s, double x, double y);
  bool hovered;
  LaneLabel label;
  const char* label_colour;  // where it has a label
};
// The symbol of `kind`, or null where a cell of that kind has none.
const KindSymbol* kind_symbol(std::uint8_t kind);

// A diamond in the colour of the diagnostic's severity.
void diagnostic_symbol(SvgWriter& s, double x, double y, Severity severity);
const char* severity_colour(Severity severity);

}  // namespace scenc::tools
