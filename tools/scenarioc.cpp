// scenarioc: the scenario author's tool. Compiles any pair of sources with
// diagnostics, decodes the binary files and draws the line.
#include <CLI/CLI.hpp>
#include <string>

#include "build_version.h"
#include "tools/commands.h"

int main(int argc, char** argv) {
  CLI::App app{"scenarioc: compile, inspect and draw train-simulator scenarios",
               "scenarioc"};
  app.set_version_flag("--version",
                       std::string("scenarioc ") + scenc::kBuildVersion);
  app.require_subcommand(1);
  app.footer(
      "Examples:\n"
      "  scenarioc sources -o mine\n"
      "  scenarioc compile mine/Firenze_Pisa_linea.txt "
      "mine/Firenze_Pisa_11711-.txt -o mine\n"
      "  scenarioc SUBCOMMAND --help\n");
  int status = 0;
  scenc::tools::register_compile_commands(app, status);
  scenc::tools::register_dump_command(app, status);
  scenc::tools::register_plot_command(app, status);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return scenc::tools::kUsageError;
  }
  return status;
}
