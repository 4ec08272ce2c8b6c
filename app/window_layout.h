// Where the waiting window and its label go on a screen of a given
// resolution. The window is laid out in twips (1/1440 inch) and drawn in
// pixels, so its size on screen follows the display's resolution.
#pragma once

namespace scenc {

// The resolution assumed when the display reports none, or one that no real
// screen has (some servers report a made-up physical size).
inline constexpr double kDefaultDotsPerInch = 96.0;

// Pixel sizes of the waiting window: its client area, its label's box and
// the label's font height.
struct WindowLayout {
  int width = 0;
  int height = 0;
  int label_x = 0;
  int label_y = 0;
  int label_width = 0;
  int label_height = 0;
  int font_pixels = 0;

  bool operator==(const WindowLayout&) const = default;
};

// `twips` converted to whole pixels at `dots_per_inch`, to the nearest pixel.
int twips_to_pixels(int twips, double dots_per_inch);

// The resolution to lay the window out at, given what the display reports.
double usable_dots_per_inch(double reported);

// The waiting window laid out at `dots_per_inch`: a 4200 x 2688 twip client
// area and the label "Attendere" 960 twips from the left and the top,
// 2652 x 792 twips, in a 24 point font.
WindowLayout waiting_window_layout(double dots_per_inch);

}  // namespace scenc
