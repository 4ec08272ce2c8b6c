#include "app/platform.h"

#ifdef SCENARIO_HAS_WINDOW
#include "app/window_platform.h"
#endif

namespace scenc {

std::unique_ptr<Platform> make_platform() {
#ifdef SCENARIO_HAS_WINDOW
  if (auto window = make_window_platform()) return window;
#endif
  return std::make_unique<ConsolePlatform>();
}

}  // namespace scenc
