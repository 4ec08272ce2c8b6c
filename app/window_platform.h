// The desktop layer: the waiting window and the error exit's message box as
// real windows on an X display.
#pragma once

#include <chrono>
#include <memory>

#include "app/platform.h"

namespace scenc {

// How long the layer waits for the display named by DISPLAY to answer
// before the run falls back to the console layer.
inline constexpr std::chrono::seconds kDisplayAnswerLimit{5};

// The window layer on the display named by DISPLAY, or null when DISPLAY is
// unset or empty, or that display cannot be reached within
// kDisplayAnswerLimit. Never ends the process when the display is missing.
// The layer never holds the build up on a display that stops answering
// later, or whose connection breaks: within seconds it gives its window up
// and shows the rest of the run as the console layer does.
std::unique_ptr<Platform> make_window_platform();

}  // namespace scenc

// The same as a C entry of the window module, which the program loads only
// when a display is named; the caller owns the result.
extern "C" scenc::Platform* scenario_make_window_platform();
