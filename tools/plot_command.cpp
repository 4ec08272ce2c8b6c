#include "tools/commands.h"

namespace scenc::tools {

void register_plot_command(CLI::App&, int&) {}

}  // namespace scenc::tools
