// What compile and check share with the subcommands that run them again and
// again (watch): their options, and one run.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <vector>

namespace scenc::tools {

struct CompileOptions {
  std::string line_source;
  std::string train_source;
  std::string out_dir = ".";
  std::optional<std::string> line_name;
  std::optional<std::string> train_number;
  bool no_geometry = false;
  bool json = false;
  std::string format = "text";
  std::string colour = "auto";
  int max_errors = 50;
  std::vector<std::string> warning_switches;  // -W NAME, -W no-NAME, -W error
  bool strict = false;
};

// Compiles the two sources and reports every fault and warning on standard
// error (and, as asked, JSON or SARIF on standard output); with
// `write_files`, the binary files go into the output directory. Returns
// the exit status.
int compile_or_check(const CompileOptions& options, bool write_files);

// The sources and the options of the check: --json, --format, --color,
// --max-errors, -W, --strict.
void add_check_options(CLI::App& command, CompileOptions& options,
                       bool write_files);
// The options of the files written: -o, --line-name, --train-number,
// --no-geometry.
void add_output_options(CLI::App& command, CompileOptions& options);

}  // namespace scenc::tools
