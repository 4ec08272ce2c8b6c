#include "app/make_platform.h"

#include "app/console_platform.h"

#ifdef SCENARIO_HAS_WINDOW
#include <dlfcn.h>

#include <cstdlib>
#include <system_error>
#endif

namespace scenc {

#ifdef SCENARIO_HAS_WINDOW
namespace {

// The window module's file: where a package puts it, relative to the
// program, or beside the program (the build tree, a copy taken with it).
// A path, never a bare name: the loader would search its own directories.
std::filesystem::path window_module(const std::filesystem::path& program_dir) {
  const std::filesystem::path installed =
      program_dir / SCENARIO_MODULE_FROM_PROGRAM / SCENARIO_WINDOW_MODULE;
  std::error_code ec;
  if (std::filesystem::exists(installed, ec)) return installed;
  return program_dir / SCENARIO_WINDOW_MODULE;
}

}  // namespace
#endif

std::unique_ptr<Platform> make_platform(
    [[maybe_unused]] const std::filesystem::path& program_dir) {
#ifdef SCENARIO_HAS_WINDOW
  // Without a display the window toolkit is never loaded: loading it alone
  // would cost a third of the build. A module that cannot be loaded leaves
  // the console layer, as a display that does not answer does.
  const char* display = std::getenv("DISPLAY");
  if (display != nullptr && *display != '\0') {
    if (void* module = ::dlopen(window_module(program_dir).c_str(),
                                RTLD_NOW | RTLD_LOCAL)) {
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
