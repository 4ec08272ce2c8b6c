// The lsp subcommand: the language server on standard input and output.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "tools/commands.h"
#include "tools/lsp/server.h"

namespace scenc::tools {

void register_lsp_command(CLI::App& app, int& status) {
  CLI::App* lsp = app.add_subcommand(
      "lsp",
      "Serve the Language Server Protocol on standard input and output: an "
      "editor shows the check's diagnostics of a line source and its train "
      "sources while the author types, with hover, outline and completion");
  // Editors' clients commonly name the transport; standard input and output
  // is the only one.
  static bool stdio = true;
  lsp->add_flag("--stdio", stdio,
                "talk over standard input and output (the default "
                           "and only transport)");
  lsp->footer(
      "Examples:\n"
      "  scenarioc lsp     (started by the editor, which talks to it)\n"
      "Sources pair by name: NAME_linea.txt with NAME_NUMBER-.txt in the same "
      "directory; a partner that is not open is read from disk. Nothing is "
      "written.\n"
      "Exit status: 0 after shutdown and exit; 1 when the input ends or exit "
      "comes without shutdown.\n");
  lsp->callback([&status] {
    lsp::DiskFiles files;
    status = lsp::serve(STDIN_FILENO, STDOUT_FILENO, files);
    // exit never waits for a check with recovery: one still running ends
    // with the process, before anything it reads is destroyed.
    if (lsp::recovery_still_running()) {
      std::fflush(nullptr);
      std::_Exit(status);
    }
  });
}

}  // namespace scenc::tools
