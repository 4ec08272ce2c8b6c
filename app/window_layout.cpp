#include "app/window_layout.h"

#include <cmath>

namespace scenc {

namespace {
constexpr double kTwipsPerInch = 1440.0;
constexpr double kPointsPerInch = 72.0;
// Below and above these no screen a person reads from has ever been built;
// a report outside them is a server's guess, not a measurement.
constexpr double kLowestDotsPerInch = 48.0;
constexpr double kHighestDotsPerInch = 480.0;
}  // namespace

int twips_to_pixels(int twips, double dots_per_inch) {
  return static_cast<int>(std::lround(twips * dots_per_inch / kTwipsPerInch));
}

double usable_dots_per_inch(double reported) {
  if (!(reported >= kLowestDotsPerInch && reported <= kHighestDotsPerInch)) {
    return kDefaultDotsPerInch;
  }
  return reported;
}

WindowLayout waiting_window_layout(double dots_per_inch) {
  const auto px = [dots_per_inch](int twips) {
    return twips_to_pixels(twips, dots_per_inch);
  };
  WindowLayout layout;
  layout.width = px(4200);
  layout.height = px(2688);
  layout.label_x = px(960);
  layout.label_y = px(960);
  layout.label_width = px(2652);
  layout.label_height = px(792);
  layout.font_pixels = static_cast<int>(
      std::lround(24.0 * dots_per_inch / kPointsPerInch));
  return layout;
}

}  // namespace scenc
