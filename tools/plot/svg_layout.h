// The page of the plot's SVG picture, shared by its rooms: the font, the
// measures of the page, the secondary inks and the round steps of its axes.
#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tools/plot/svg_writer.h"

namespace scenc::tools::svg_layout {

inline constexpr const char* kFont =
    "DejaVu Sans, Arial, Helvetica, sans-serif";
inline constexpr int kFontSize = 12;

// The page, in pixels. The panels along the line share one horizontal
// scale between kLeft and the page width less kRight.
namespace page {
inline constexpr double kStartWidth =
    1400;                             // widened when the timetable needs it
inline constexpr double kLeft = 110;  // room for the lane names and y axes
inline constexpr double kRight = 40;
inline constexpr double kTitleBaseline = 34;
inline constexpr double kTopRow = 64;  // plan, legend and timetable
inline constexpr double kGapAfterTopRow = 40;
inline constexpr double kGapBeforePanel = 28;  // room for a panel's title
inline constexpr double kGradientHeight = 110;
inline constexpr double kHeightsHeight = 90;
inline constexpr double kBannerLine = 16;  // a line of the stop's banner
inline constexpr double kCurvePlotHeight = 76;
inline constexpr double kSpeedHeight = 150;
inline constexpr double kLaneHeight = 30;  // a lane of symbols, without labels
inline constexpr double kAxisHeight = 56;
inline constexpr double kBottomMargin = 20;
}  // namespace page

// Secondary inks.
namespace ink {
inline constexpr const char* kFrame = "#adb5bd";
inline constexpr const char* kGuide = "#ced4da";
inline constexpr const char* kAxis = "#495057";
inline constexpr const char* kLaneRule = "#e9ecef";
inline constexpr const char* kNote = "#555";
inline constexpr const char* kFootnote = "#777";
inline constexpr const char* kMountainText = "#6b5530";
inline constexpr const char* kLeader = "#adb5bd";
}  // namespace ink

inline std::string n(double v) { return svg_number(v); }

// `text` cut at blanks into lines no wider than `width`, as text_width
// measures them; a word wider than that has a line of its own.
inline std::vector<std::string> wrapped(const std::string& text, double size,
                                        bool bold, double width) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t blank = text.find(' ', at);
    const std::string word = text.substr(
        at, blank == std::string::npos ? std::string::npos : blank - at);
    at = blank == std::string::npos ? text.size() : blank + 1;
    const std::string longer = line.empty() ? word : line + " " + word;
    if (!line.empty() && text_width(longer, size, bold) > width) {
      lines.push_back(line);
      line = word;
    } else {
      line = longer;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// The step of round numbers (1, 2 or 5 times a power of ten) that cuts
// `span` into about `parts` pieces.
inline double nice_step(double span, double parts) {
  const double raw = std::max(span / parts, 1e-9);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 5.0}) {
    if (m * power >= raw) return m * power;
  }
  return 10 * power;
}

}  // namespace scenc::tools::svg_layout
