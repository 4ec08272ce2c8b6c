#include "tools/commands.h"

namespace scenc::tools {

void register_compile_commands(CLI::App&, int&) {}

}  // namespace scenc::tools
