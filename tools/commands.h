// The subcommands of scenarioc. Each adds itself to the command line and
// runs through the shared compile core.
#pragma once

#include <CLI/CLI.hpp>

namespace scenc::tools {

// Each registers its subcommand(s); `status` receives the exit status of the
// subcommand that runs.
void register_compile_commands(CLI::App& app, int& status);  // compile, check, sources
void register_dump_command(CLI::App& app, int& status);
void register_plot_command(CLI::App& app, int& status);
void register_lsp_command(CLI::App& app, int& status);
void register_serve_command(CLI::App& app, int& status);
void register_watch_command(CLI::App& app, int& status);
// decompile, diff
void register_decompile_commands(CLI::App& app, int& status);
void register_fmt_command(CLI::App& app, int& status);

}  // namespace scenc::tools
