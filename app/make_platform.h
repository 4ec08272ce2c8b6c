// The choice of layer a build run shows itself through.
#pragma once

#include <filesystem>
#include <memory>

#include "app/platform.h"

namespace scenc {

// The best layer this machine offers: a window where one can be shown, the
// console layer otherwise. The window module is looked for by its path from
// `program_dir`, the directory of the running program: where a package
// installs it, then beside the program.
std::unique_ptr<Platform> make_platform(
    const std::filesystem::path& program_dir);

}  // namespace scenc
