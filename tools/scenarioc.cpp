// scenarioc: the scenario author's tool. Compiles any pair of sources with
// diagnostics, decodes the binary files and draws the line.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <optional>
#include <string>

#include "build_version.h"
#include "output/temporary_files.h"
#include "scenario/build_run.h"
#include "scenario/lack_of_memory.h"
#include "tools/check/diagnostic_output.h"
#include "tools/check/spelling.h"
#include "tools/commands.h"

namespace {

// The first word that is no option, when it names no subcommand: the
// subcommand it was most likely meant to be, or all of them.
std::optional<std::string> unknown_subcommand(const CLI::App& app, int argc,
                                              char** argv) {
  int first = 1;
  while (first < argc && argv[first][0] == '-') ++first;
  if (first >= argc) return std::nullopt;
  const std::string word = argv[first];
  std::string names;
  const CLI::App* nearest = nullptr;
  int fewest = 0;
  for (const CLI::App* command : app.get_subcommands({})) {
    const std::string& name = command->get_name();
    if (name == word) return std::nullopt;
    names += (names.empty() ? "" : ", ") + name;
    // A beginning of a name is as near as the name itself.
    const int edits =
        name.starts_with(word) ? 0 : scenc::tools::cost_to_contain(word, name);
    if (nearest == nullptr || edits < fewest) {
      nearest = command;
      fewest = edits;
    }
  }
  const std::string said = "'" + word + "' is not a subcommand; ";
  if (nearest != nullptr &&
      fewest <= scenc::tools::kEditCost *
                    std::max<int>(1, nearest->get_name().size() / 3)) {
    return said + "did you mean '" + nearest->get_name() + "'?";
  }
  return said + "the subcommands are " + names;
}

int run_command(int argc, char** argv) {
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
  scenc::tools::register_lsp_command(app, status);
  scenc::tools::register_serve_command(app, status);
  scenc::tools::register_watch_command(app, status);
  scenc::tools::register_decompile_commands(app, status);
  scenc::tools::register_fmt_command(app, status);
  // What the person typed is shown as it would be in a diagnostic: a
  // control character in an argument never reaches the terminal raw.
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return scenc::tools::terminal_text(e.what()) +
           "\nRun with --help for more information.\n";
  });
  if (const auto unknown = unknown_subcommand(app, argc, argv)) {
    std::cerr << "scenarioc: error: " << scenc::tools::terminal_text(*unknown)
              << "\nRun with --help for more information.\n";
    return scenc::exit_status::kUsageError;
  }
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
    return scenc::exit_status::kUsageError;
  } catch (const std::bad_alloc&) {
    std::cerr << "scenarioc: error: out of memory\n";
    return scenc::exit_status::kFileFailed;
  }
  return status;
}

// Standard output that never reached its file is a failure like any other
// file's: a full disk must not end with a clean status over a cut report or
// picture. The reason is that of the write that failed: during the command,
// or in the last flush.
int with_output_checked(int status) {
  const int during_command = errno;
  const bool failed_before = !std::cout.good() || std::ferror(stdout);
  errno = 0;
  std::cout.flush();
  const bool failed_now = !std::cout.good() || std::fflush(stdout) != 0;
  if (!failed_before && !failed_now) return status;
  int reason = failed_before ? during_command : errno;
  if (reason == 0) reason = EIO;
  std::cerr << "scenarioc: error: cannot write standard output: "
            << std::strerror(reason) << '\n';
  return scenc::exit_status::kFileFailed;
}

}  // namespace

const char scenc::kOutOfMemoryLine[] = "scenarioc: error: out of memory\n";

int main(int argc, char** argv) {
  scenc::handle_file_signals();
  if (scenc::throw_on_lack_of_memory()) {
    try {
      return with_output_checked(run_command(argc, argv));
    } catch (const std::bad_alloc&) {
    }
  }
  std::fputs(scenc::kOutOfMemoryLine, stderr);
  return scenc::exit_status::kFileFailed;
}
