#include "tools/commands.h"

namespace scenc::tools {

void register_dump_command(CLI::App&, int&) {}

}  // namespace scenc::tools
