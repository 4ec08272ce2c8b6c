#include "app/make_platform.h"

#include "app/console_platform.h"

#ifdef SCENARIO_HAS_WINDOW
#include <dlfcn.h>

#include <cstdlib>
#endif

namespace scenc {

std::unique_ptr<Platform> make_platform() {
#ifdef SCENARIO_HAS_WINDOW
  // Without a display the window toolkit is never loaded: loading it alone
  // would cost a third of the build. A module that cannot be loaded leaves
  // the console layer, as a display that does not answer does.
  const char* display = std::getenv("DISPLAY");
  if (display != nullptr && *display != '\0') {
    if (void* module = ::dlopen(SCENARIO_WINDOW_MODULE, RTLD_NOW | RTLD_LOCAL)) {
      using Make = Platform* (*)();
      const auto make =
          reinterpret_cast<Make>(::dlsym(module, "scenario_make_window_platform"));
      if (make != nullptr) {
        if (Platform* window = make()) return std::unique_ptr<Platform>(window);
      }
    }
  }
#endif
  return std::make_unique<ConsolePlatform>();
}

}  // namespace scenc
