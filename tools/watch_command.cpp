// The watch subcommand: check (or, with -o, compile) two sources again each
// time one is saved, the terminal cleared and the diagnostics printed anew.
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <memory>

#include "scenario/exit_status.h"
#include "tools/check/diagnostic_output.h"
#include "tools/commands.h"
#include "tools/compile_command.h"
#include "tools/decode/scenario_set.h"
#include "tools/live/file_watch.h"

namespace scenc::tools {
namespace {

// An editor's save takes a few steps; the run waits until the sources have
// been still this long.
constexpr auto kSettle = std::chrono::milliseconds(30);

int watch_sources(const CompileOptions& o, bool write_files) {
  std::vector<FileWatch::Item> items = FileWatch::items_of(o.line_source);
  for (FileWatch::Item& i : FileWatch::items_of(o.train_source)) {
    items.push_back(std::move(i));
  }
  try {
    FileWatch watch(std::move(items));
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    int status = exit_status::kClean;
    until_stopped(watch, kSettle, [&](const std::set<std::size_t>&) {
      // On a terminal each run starts on a clear screen, its scrollback
      // too; elsewhere a line sets the runs apart.
      std::cerr << (terminal ? "\033[H\033[2J\033[3J"
                             : "scenarioc watch: compiling again\n");
      std::cout.flush();
      std::cerr.flush();
      status = compile_or_check(o, write_files);
      std::cout.flush();
      std::cerr << terminal_text("scenarioc watch: status " +
                                 std::to_string(status) + "; watching " +
                                 o.line_source + " and " + o.train_source +
                                 " (Ctrl-C ends)")
                << std::endl;
    });
    return status;
  } catch (const ToolError& e) {
    std::cerr << terminal_text("scenarioc watch: " + e.message) << "\n";
    return e.status;
  }
}

}  // namespace

void register_watch_command(CLI::App& app, int& status) {
  auto o = std::make_shared<CompileOptions>();
  CLI::App* watch = app.add_subcommand(
      "watch",
      "Check two sources again each time one is saved, on a cleared "
      "terminal; with -o, compile them and write the binary files as well");
  add_check_options(*watch, *o, /*write_files=*/true);
  add_output_options(*watch, *o);
  watch->footer(
      "Examples:\n"
      "  scenarioc watch mine/Firenze_Pisa_linea.txt "
      "mine/Firenze_Pisa_11711-.txt\n"
      "  scenarioc watch mine/Firenze_Pisa_linea.txt "
      "mine/Firenze_Pisa_11711-.txt -o out\n"
      "Without -o nothing is written. Ctrl-C ends the watch.\n"
      "Exit status: that of the last run, as compile (with -o) or check "
      "gives it: 0 clean; 1 a fault was recorded, or a warning under "
      "--strict; 2 error exit; 3 a file could not be read or written; "
      "64 usage error.\n");
  watch->callback([o, watch, &status] {
    status = watch_sources(*o, watch->count("--output") > 0);
  });
}

}  // namespace scenc::tools
