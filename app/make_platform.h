// The choice of layer a build run shows itself through.
#pragma once

#include <memory>

#include "app/platform.h"

namespace scenc {

// The best layer this machine offers: a window where one can be shown, the
// console layer otherwise.
std::unique_ptr<Platform> make_platform();

}  // namespace scenc
