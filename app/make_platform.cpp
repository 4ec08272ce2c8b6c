#include "app/platform.h"

namespace scenc {

std::unique_ptr<Platform> make_platform() {
  return std::make_unique<ConsolePlatform>();
}

}  // namespace scenc
