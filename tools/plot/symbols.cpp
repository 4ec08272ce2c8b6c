#include "tools/plot/symbols.h"

#include <string>

namespace scenc::tools {
namespace {

std::string n(double v) { return svg_number(v); }

}  // namespace

void station_symbol(SvgWriter& s, double x, double y, bool with_marker) {
  s.path("M" + n(x) + " " + n(y - 6) + " L" + n(x + 5.5) + " " + n(y + 4) +
             " L" + n(x - 5.5) + " " + n(y + 4) + " Z",
         with_marker
             ? fill(colour::kStation)
             : fill("white", std::string("stroke=\"") + colour::kStation +
                                 "\" stroke-width=\"1.4\""));
}

void signal_symbol(SvgWriter& s, double x, double y) {
  s.line(x, y + 7, x, y - 3, stroke(colour::kTrack, 1.2));
  s.circle(x, y - 5, 3.2, fill(colour::kSignal));
}

void board_symbol(SvgWriter& s, double x, double y) {
  s.rect(x - 4, y - 4, 8, 8, fill(colour::kBoard));
}

void signboard_symbol(SvgWriter& s, double x, double y) {
  s.rect(x - 6, y - 3.5, 12, 7, fill(colour::kSignboard));
}

void warning_symbol(SvgWriter& s, double x, double y) {
  s.path(
      "M" + n(x) + " " + n(y + 6) + " L" + n(x + 6) + " " + n(y - 5) + " L" +
          n(x - 6) + " " + n(y - 5) + " Z",
      fill(colour::kWarning, std::string("stroke=\"") + colour::kWarningEdge +
                                 "\" stroke-width=\"1\""));
}

void approach_symbol(SvgWriter& s, double x, double y) {
  s.line(x, y - 5, x, y + 5, stroke(colour::kApproach, 1.2));
}

void mark_symbol(SvgWriter& s, double x, double y) {
  s.line(x - 4, y - 4, x + 4, y + 4, stroke(colour::kMark, 2));
  s.line(x - 4, y + 4, x + 4, y - 4, stroke(colour::kMark, 2));
}

void mountain_symbol(SvgWriter& s, double x, double y) {
  s.path("M" + n(x - 6) + " " + n(y + 4) + " L" + n(x) + " " + n(y - 5) + " L" +
             n(x + 6) + " " + n(y + 4) + " Z",
         fill(colour::kMountainMarker));
}

namespace {

constexpr KindSymbol kKindSymbols[] = {
    {cell_kind::kSignal, signal_symbol, true, LaneLabel::kNone, nullptr},
    {cell_kind::kSlowOrderWarning, warning_symbol, true, LaneLabel::kNone,
     nullptr},
    {cell_kind::kSlowOrderApproach, approach_symbol, false, LaneLabel::kNone,
     nullptr},
    {cell_kind::kSpeedBoard, board_symbol, true, LaneLabel::kWhereRoom,
     colour::kBoard},
    {cell_kind::kMountainMarker, mountain_symbol, false, LaneLabel::kNone,
     nullptr},
    {cell_kind::kAbbattimento, mark_symbol, true, LaneLabel::kAlways,
     colour::kMark},
    {cell_kind::kAbbattimentoZero, mark_symbol, true, LaneLabel::kAlways,
     colour::kMark},
    {cell_kind::kSignboard, signboard_symbol, true, LaneLabel::kAlways,
     colour::kSignboard},
};

}  // namespace

const KindSymbol* kind_symbol(std::uint8_t kind) {
  for (const KindSymbol& k : kKindSymbols) {
    if (k.kind == kind) return &k;
  }
  return nullptr;
}

const char* severity_colour(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return colour::kError;
    case Severity::kWarning:
      return colour::kWarningText;
    case Severity::kNote:
      return colour::kNoteText;
  }
  return colour::kError;
}

void diagnostic_symbol(SvgWriter& s, double x, double y, Severity severity) {
  s.path(
      "M" + n(x) + " " + n(y - 6) + " L" + n(x + 5) + " " + n(y) + " L" + n(x) +
          " " + n(y + 6) + " L" + n(x - 5) + " " + n(y) + " Z",
      fill(severity_colour(severity), "stroke=\"white\" stroke-width=\"1\""));
}

}  // namespace scenc::tools
