// The compile, check and sources subcommands: the scenario program's own
// compile run on an author's two sources, with every fault it records
// reported at the row that raised it.
#include "tools/compile_command.h"

#include <malloc.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <iostream>
#include <memory>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "build_version.h"
#include "compiler/source_store.h"
#include "model/faults.h"
#include "output/file_system.h"
#include "output/scenario_files.h"
#include "scenario/build_run.h"
#include "scenario/heap_pages.h"
#include "tools/check/check.h"
#include "tools/check/diagnostic_output.h"
#include "tools/commands.h"
#include "tools/decode/source_names.h"

namespace scenc::tools {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

// The names become file names inside the output directory, so they must not
// lead out of it.
const CLI::Validator kScenarioName(
    [](std::string& name) -> std::string {
      return name.find('/') == std::string::npos
                 ? std::string{}
                 : "a scenario name cannot contain '/'";
    },
    "NAME");

// The directory an author names: created with the first file written into
// it, so that a run that writes nothing leaves nothing behind.
class AuthorDirectory final : public OutputDirectory {
 public:
  // An empty name, as from -o "", is the working directory.
  explicit AuthorDirectory(fs::path dir,
                           std::size_t buffer_size = BufferPool::kDefaultSize)
      : disk_(dir.empty() ? fs::path(".") : std::move(dir), buffer_size) {}
  void write(const std::string& name, const Fill& fill) override {
    if (!created_) {
      std::error_code ec;
      fs::create_directories(disk_.path(), ec);
      if (ec) throw FileError{disk_.path().string(), ec.message()};
      created_ = true;
    }
    disk_.write(name, fill);
  }

 private:
  DiskDirectory disk_;
  bool created_ = false;
};

// A thread started beside a busy one is often queued on the same core, and
// takes turns with it there while another core idles. Moves the calling
// thread off `busy_cpu` (as sched_getcpu() gave it) to a core it may run
// on, then lets it run on any again: it stays where it landed until the
// scheduler has reason to move it. Does nothing on a single core.
void move_off_cpu(int busy_cpu) {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (busy_cpu < 0 || busy_cpu >= CPU_SETSIZE ||
      ::sched_getaffinity(0, sizeof allowed, &allowed) != 0 ||
      !CPU_ISSET(busy_cpu, &allowed) || CPU_COUNT(&allowed) < 2) {
    return;
  }
  cpu_set_t elsewhere = allowed;
  CPU_CLR(busy_cpu, &elsewhere);
  if (::sched_setaffinity(0, sizeof elsewhere, &elsewhere) == 0) {
    ::sched_setaffinity(0, sizeof allowed, &allowed);
  }
}

// The check's options from the command line: -W no-NAME silences a warning,
// -W NAME enables one, -W error (or --strict) makes warnings fail.
CheckOptions check_options_of(const CompileOptions& o) {
  CheckOptions c;
  c.max_errors = o.max_errors;
  c.strict = o.strict;
  c.write_line_file = o.no_geometry ? 0 : 1;
  for (const std::string& w : o.warning_switches) {
    if (w == "error") {
      c.strict = true;
    } else if (w.starts_with("no-")) {
      c.disabled.insert(w.substr(3));
    } else {
      c.enabled.insert(w);
    }
  }
  return c;
}

// -W takes "error", or a warning's name with or without "no-".
const CLI::Validator kWarningSwitch(
    [](std::string& w) -> std::string {
      const std::string name = w.starts_with("no-") ? w.substr(3) : w;
      if (w == "error" || find_warning(name) != nullptr) return {};
      std::string known;
      for (const WarningInfo& info : kWarnings) {
        known += known.empty() ? "" : ", ";
        known += info.name;
      }
      return "unknown warning '" + name + "'; the warnings are: " + known;
    },
    "NAME");

// --max-errors takes a count of errors; CLI11's own range would be spelt
// out to the last digit of the largest double.
const CLI::Validator kErrorCount(
    [](std::string& n) -> std::string {
      const bool digits = !n.empty() && n.size() <= 9 &&
                          std::all_of(n.begin(), n.end(), [](char c) {
                            return c >= '0' && c <= '9';
                          });
      return digits ? std::string{}
                    : "'" + n +
                          "' is not a count of errors: a whole number from 0 "
                          "(no limit) to 999999999";
    },
    "N");

// The working directory, for the log's relative paths; "/" where it cannot
// be had.
std::string working_directory() {
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  return ec ? "/" : cwd.string();
}

bool colour_wanted(const std::string& choice) {
  if (choice == "always") return true;
  if (choice == "never") return false;
  const char* no_colour = std::getenv("NO_COLOR");
  if (no_colour != nullptr && *no_colour != '\0') return false;
  return ::isatty(STDERR_FILENO) != 0;
}

Json report_of(const CheckResult& check, const Model& model,
               const BuildOutcome& outcome,
               const std::vector<std::string>& files,
               const CheckedFiles& sources) {
  return {{"error_code", model.error_code},
          {"error_position", model.error_position},
          {"error_exit",
           outcome.error_exit != 0 ? Json(outcome.error_exit) : Json(nullptr)},
          {"files", files},
          {"column_unit", kColumnUnit},
          {"diagnostics", diagnostics_json(check, sources)},
          {"truncated", check.truncated}};
}

bool read_source(const std::string& path, std::string_view what,
                 std::string& bytes) {
  std::string reason;
  if (auto read = tools::read_source(path, reason)) {
    bytes = std::move(*read);
    return true;
  }
  std::cerr << terminal_text("scenarioc: error: cannot read the " +
                             std::string(what) + " " + path + ": " + reason)
            << '\n';
  return false;
}

// A binary file that would land on one of the sources would replace it, and
// the author's text would be lost: names the clash, or returns nothing.
std::optional<std::string> clash_with_sources(const Model& model,
                                              const CompileOptions& o) {
  std::vector<std::string> outputs{ScenarioFileNames::slot_file(model),
                                   ScenarioFileNames::cell_file(model)};
  if (!o.no_geometry) {
    outputs.push_back(ScenarioFileNames::line_geometry(model));
  }
  for (const std::string& name : outputs) {
    const fs::path target = fs::path(o.out_dir) / name;
    for (const std::string& source : {o.line_source, o.train_source}) {
      // A target that does not exist yet clashes with nothing.
      std::error_code ec;
      if (fs::equivalent(target, source, ec)) {
        return target.string() + " would replace the source " + source;
      }
    }
  }
  return std::nullopt;
}

// What an error exit leaves in the output directory: nothing of this run,
// and the files of an earlier one, named, where there are any.
std::string earlier_files(const Model& model, const CompileOptions& o) {
  std::vector<std::string> names{ScenarioFileNames::slot_file(model),
                                 ScenarioFileNames::cell_file(model)};
  if (!o.no_geometry) {
    names.insert(names.begin(), ScenarioFileNames::line_geometry(model));
  }
  const fs::path dir = o.out_dir.empty() ? fs::path(".") : fs::path(o.out_dir);
  std::string found;
  for (const std::string& name : names) {
    std::error_code ec;
    if (!fs::exists(dir / name, ec)) continue;
    found += (found.empty() ? "" : ", ") + (dir / name).string();
  }
  return found.empty() ? "; nothing was written"
                       : "; nothing was written: " + found +
                             " are from an earlier run, not from these sources";
}

void report_file_error(const FileError& e) {
  std::cerr << terminal_text("scenarioc: error: cannot write " + e.file + ": " +
                             e.reason)
            << '\n';
}

// Says what a compile wrote, or that it ended at the error exit, and
// prints the report asked for on standard output. `model` is the one the
// files come from, or the check's where nothing is written.
void print_outcome(const CompileOptions& o, bool write_files,
                   const CheckResult& check, const Model& model,
                   const BuildOutcome& outcome, const CheckedFiles& sources) {
  if (!outcome.files_written.empty()) {
    // As plot says what it drew: on standard error, beside the
    // diagnostics, so that standard output stays the report alone.
    std::string written;
    for (const std::string& name : outcome.files_written) {
      written +=
          (written.empty() ? "" : ", ") +
          (fs::path(o.out_dir.empty() ? "." : o.out_dir) / name).string();
    }
    std::cerr << terminal_text("scenarioc compile: wrote " + written) << '\n';
  }
  if (outcome.error_exit != 0) {
    std::cerr << "error exit:"
              << error_exit_text(std::to_string(outcome.error_exit))
              << (write_files ? earlier_files(model, o) : std::string())
              << '\n';
  }
  const std::string format = o.json ? "json" : o.format;
  if (format == "json" || format == "sarif") {
    const std::vector<std::string> none;
    const Json report =
        format == "json"
            ? report_of(check, model, outcome,
                        write_files ? outcome.files_written : none, sources)
            : sarif_log(check, sources, kBuildVersion, working_directory());
    // Paths and names are bytes as the author gave them; bytes that are not
    // UTF-8 must not stop the report.
    std::cout << report.dump(-1, ' ', false, Json::error_handler_t::replace)
              << '\n';
  }
}

// Compiles the two sources as the scenario program compiles its own; with
// `write_files`, the binary files go into the output directory.
int run_compile(const CompileOptions& o, bool write_files) {
  // Both sources are read before anything else, so that one that cannot be
  // read stops the run before any file is written.
  std::string line_bytes;
  std::string train_bytes;
  if (!read_source(o.line_source, "line source", line_bytes) ||
      !read_source(o.train_source, "train source", train_bytes)) {
    return exit_status::kFileFailed;
  }
  // A compile and its check fill some megabytes of small blocks (the model,
  // the check's account of every row and field), about 64 bytes for every
  // byte of the sources: 1,100 fresh pages were a third of the CPU of a
  // maximal compile. Sources below 64 KiB fill too little for huge pages to
  // pay, and keep the allocator, and the address space a run needs, as they
  // were. Buffers in huge pages cost nothing to touch: large ones spare
  // writes.
  constexpr std::size_t kLeastSources = 64 << 10;
  const std::size_t source_bytes = line_bytes.size() + train_bytes.size();
  const std::size_t buffer_size = BufferPool::size_for(
      source_bytes >= kLeastSources && heap_in_huge_pages(64 * source_bytes));

  // The scenario's names, and once compiled, the model its files come from.
  Model built;
  built.line_name = o.line_name.value_or(default_line_name(o.line_source));
  built.train_number = o.train_number.value_or(
      default_train_number(o.train_source, built.line_name));
  if (write_files) {
    if (const auto clash = clash_with_sources(built, o)) {
      std::cerr << terminal_text("scenarioc: error: " + *clash +
                                 "; choose another -o, --line-name or "
                                 "--train-number")
                << '\n';
      return exit_status::kUsageError;
    }
  }

  // The author check runs beside the compile whose files are written, on a
  // thread of its own and another core from the start: it compiles the
  // sources once more, traced, and compiles again past each fault that ends
  // a stage. Nothing of it reaches the files; the compile, the drawing and
  // the writing take one core, and the file system's waits leave it more.
  // Both compiles read the same bytes under the same names, so the check's
  // model is the written one's twin. The check alone (`check`) runs on this
  // thread.
  const CheckOptions options = check_options_of(o);
  const int compile_cpu = ::sched_getcpu();
  const auto run_check =
      [&line_bytes, &train_bytes, &options, line_name = built.line_name,
       train_number = built.train_number, compile_cpu](bool beside) {
        if (beside) move_off_cpu(compile_cpu);
        return check_sources(line_bytes, train_bytes, line_name, train_number,
                             options);
      };
  std::future<CheckResult> checking;
  if (write_files) {
    try {
      checking = std::async(std::launch::async, run_check, true);
    } catch (const std::system_error&) {
      // No thread to be had: the check runs here once the files are written.
      checking = std::async(std::launch::deferred, run_check, false);
    }
  } else {
    checking = std::async(std::launch::deferred, run_check, false);
  }
  BuildOutcome outcome;
  std::optional<FileError> failed;
  if (write_files) {
    // A view of the bytes read: the compile holds the sources once.
    SourceViews store(line_bytes, train_bytes);
    outcome = compile_scenario(built, options.write_line_file, store);
    if (outcome.error_exit == 0) {
      AuthorDirectory disk(o.out_dir, buffer_size);
      try {
        outcome.files_written = write_scenario_files(built, disk);
      } catch (const FileError& e) {
        failed = e;
      }
    }
  }
  const CheckResult check = checking.get();
  if (!write_files) outcome.error_exit = check.error_exit;
  const Model& model = write_files ? built : check.model;

  const CheckedFiles sources{o.line_source, o.train_source, line_bytes,
                             train_bytes};
  print_diagnostics(std::cerr, check, sources, colour_wanted(o.colour));
  if (failed) {
    report_file_error(*failed);
    return exit_status::kFileFailed;
  }
  print_outcome(o, write_files, check, model, outcome, sources);
  const int status = exit_status_of(model, outcome);
  if (status == exit_status::kClean && options.strict && check.warnings() > 0) {
    return exit_status::kFaultRecorded;
  }
  return status;
}

// What a file already holds against what would be written there.
enum class OnDisk { kNothing, kSame, kOther };
OnDisk on_disk(const fs::path& file, const std::string& bytes) {
  std::error_code ec;
  // A device or a FIFO holds nothing that writing would lose.
  if (!fs::is_regular_file(file, ec)) return OnDisk::kNothing;
  // A file that cannot be read, or is larger than any source, may hold
  // anything.
  std::string reason;
  const std::optional<std::string> held = tools::read_source(file, reason);
  return held && *held == bytes ? OnDisk::kSame : OnDisk::kOther;
}

// Writes the embedded scenario's sources and driver documents, as the
// scenario program writes them before compiling. An author may have edited
// earlier copies: unless `force`, a file that differs from what would be
// written is named and nothing is written.
int run_sources(const std::string& out_dir, bool force) {
  Model model;
  set_embedded_identity(model);
  MemoryDirectory texts;
  write_scenario_texts(model, texts);

  const fs::path dir = out_dir.empty() ? fs::path(".") : fs::path(out_dir);
  std::vector<std::string> to_write;
  bool refused = false;
  for (const std::string& name : texts.order) {
    const OnDisk found = on_disk(dir / name, texts.files.at(name));
    if (found == OnDisk::kSame) continue;
    if (found == OnDisk::kOther && !force) {
      std::cerr << terminal_text("scenarioc: error: " + (dir / name).string() +
                                 " differs from what sources would write; "
                                 "give --force to replace it")
                << '\n';
      refused = true;
      continue;
    }
    to_write.push_back(name);
  }
  if (refused) return exit_status::kUsageError;
  AuthorDirectory out(out_dir);
  for (const std::string& name : to_write) {
    out.write(name, [&](ByteWriter& w) { w.bytes(texts.files.at(name)); });
  }
  return exit_status::kClean;
}

// Lists the warning table.
int run_warnings(bool json) {
  if (json) {
    Json list = Json::array();
    for (const WarningInfo& w : kWarnings) {
      list.push_back({{"name", w.name},
                      {"on_by_default", w.on_by_default},
                      {"description", w.description},
                      {"example", w.example},
                      {"fix", w.fix}});
    }
    std::cout << list.dump(-1, ' ', false, Json::error_handler_t::replace)
              << '\n';
    return exit_status::kClean;
  }
  for (const WarningInfo& w : kWarnings) {
    std::cout << w.name << (w.on_by_default ? " (on)" : " (off)") << "\n    "
              << w.description << "\n    fix: " << w.fix << '\n';
  }
  return exit_status::kClean;
}

// A file failure, or any other failure of the host, ends the subcommand with
// one line on standard error instead of an abort.
int guarded(const std::function<int()>& run) {
  try {
    return run();
  } catch (const FileError& e) {
    report_file_error(e);
  } catch (const std::bad_alloc&) {
    std::cerr << "scenarioc: error: out of memory\n";
  } catch (const std::exception& e) {
    std::cerr << terminal_text(std::string("scenarioc: error: ") + e.what())
              << '\n';
  }
  return exit_status::kFileFailed;
}

}  // namespace

int compile_or_check(const CompileOptions& o, bool write_files) {
  return guarded([&] { return run_compile(o, write_files); });
}

void add_check_options(CLI::App& command, CompileOptions& o, bool write_files) {
  command.add_option("LINE_SOURCE", o.line_source, "the line source text")
      ->required();
  command.add_option("TRAIN_SOURCE", o.train_source, "the train source text")
      ->required();
  command.add_flag("--json", o.json,
                   "also print one JSON object on standard output: "
                   "error_code, error_position, error_exit, files, "
                   "column_unit, diagnostics, truncated (nothing when a "
                   "file cannot be " +
                       std::string(write_files ? "read or written" : "read") +
                       "); the same as --format json");
  command
      .add_option("--format", o.format,
                  "text (the default: diagnostics on standard error only), "
                  "json or sarif: also print the diagnostics in that form "
                  "on standard output")
      ->check(CLI::IsMember({"text", "json", "sarif"}))
      ->option_text("FORMAT");
  command
      .add_option("--color", o.colour,
                  "colour the diagnostics: auto (on a terminal, unless "
                  "NO_COLOR is set), always or never")
      ->check(CLI::IsMember({"auto", "always", "never"}))
      ->option_text("WHEN");
  command
      .add_option("--max-errors", o.max_errors,
                  "stop after this many errors (default 50; 0: no limit)")
      ->check(kErrorCount)
      ->option_text("N");
  command
      .add_option("-W", o.warning_switches,
                  "-Wno-NAME silences the warning NAME, -WNAME enables it, "
                  "-Werror makes warnings fail the run (status 1)")
      ->check(kWarningSwitch)
      ->allow_extra_args(false)
      ->option_text("NAME");
  command.add_flag("--strict", o.strict,
                   "warnings fail the run (status 1), as -Werror");
}

void add_output_options(CLI::App& command, CompileOptions& o) {
  command
      .add_option("-o,--output", o.out_dir,
                  "directory that receives the binary files (created when "
                  "missing; default: the working directory)")
      ->option_text("DIR");
  command
      .add_option("--line-name", o.line_name,
                  "line name (default: the line source's file name without "
                  "\"" +
                      std::string(file_ending::kLineSource) +
                      "\", else without its extension)")
      ->check(kScenarioName)
      ->option_text("NAME");
  command
      .add_option("--train-number", o.train_number,
                  "train number (default: what stands between "
                  "\"<line name>_\" and \"" +
                      std::string(file_ending::kTrainSource) +
                      "\" in the train source's file name, else that name "
                      "without its extension)")
      ->check(kScenarioName)
      ->option_text("NAME");
  command.add_flag("--no-geometry", o.no_geometry,
                   "compile without the line profile and skip the line "
                   "geometry file");
}

namespace {

// The exit statuses as each subcommand's help gives them: check writes
// nothing.
std::string exit_statuses(bool write_files) {
  return std::string(
             "Exit status: 0 clean; 1 a fault was recorded, or a warning "
             "under --strict") +
         (write_files ? " (the files are written all the same)" : "") +
         "; 2 error exit" + (write_files ? ", no binary file written" : "") +
         "; 3 a file could not be read" + (write_files ? " or written" : "") +
         "; 64 usage error.\n"
         "Columns count bytes of the source line in the text and in JSON "
         "(\"column_unit\": \"byte\"), characters in SARIF (columnKind).\n";
}

// Adds a subcommand that compiles two sources; `write_files` tells compile
// from check. Returns the options it fills, for the subcommand's own.
std::shared_ptr<CompileOptions> add_compiling_command(
    CLI::App& app, const std::string& name, const std::string& description,
    const std::string& examples, bool write_files, int& status,
    CLI::App*& command) {
  auto o = std::make_shared<CompileOptions>();
  command = app.add_subcommand(name, description);
  add_check_options(*command, *o, write_files);
  command->footer("Examples:\n" + examples + "\n" + exit_statuses(write_files));
  command->callback([o, write_files, &status] {
    status = compile_or_check(*o, write_files);
  });
  return o;
}

}  // namespace

void register_compile_commands(CLI::App& app, int& status) {
  CLI::App* compile = nullptr;
  const auto options = add_compiling_command(
      app, "compile",
      "Compile a line source and a train source into the line geometry, slot "
      "and cell files; every fault and warning is reported as "
      "FILE:LINE:COLUMN: error|warning: message [check]",
      "  scenarioc compile Firenze_Pisa_linea.txt Firenze_Pisa_11711-.txt "
      "-o out\n"
      "      writes out/Firenze_Pisa_linea.dat, out/Firenze_Pisa_11711.sim, "
      "out/Firenze_Pisa_11711.dat\n"
      "  scenarioc compile mia.txt treno.txt --line-name Mia "
      "--train-number 2041 --no-geometry\n"
      "  scenarioc compile a_linea.txt a_1-.txt --json\n",
      true, status, compile);
  add_output_options(*compile, *options);

  CLI::App* check = nullptr;
  add_compiling_command(
      app, "check",
      "Compile a line source and a train source and report every fault and "
      "every warning, writing nothing",
      "  scenarioc check Firenze_Pisa_linea.txt Firenze_Pisa_11711-.txt\n"
      "  scenarioc check a_linea.txt a_1-.txt --json\n",
      false, status, check);

  auto warnings_json = std::make_shared<bool>(false);
  CLI::App* warnings = app.add_subcommand(
      "warnings",
      "List the warnings of compile and check: each one's name, whether it "
      "is on without -WNAME, what it warns of and how to mend the row");
  warnings->add_flag("--json", *warnings_json,
                     "one JSON array for programs instead of text");
  warnings->footer(
      "Examples:\n"
      "  scenarioc warnings\n"
      "  scenarioc check a_linea.txt a_1-.txt -Wno-row-continues "
      "-Wcurve-overlap\n");
  warnings->callback([warnings_json, &status] {
    status = guarded([&] { return run_warnings(*warnings_json); });
  });

  auto sources_dir = std::make_shared<std::string>(".");
  auto force = std::make_shared<bool>(false);
  CLI::App* sources = app.add_subcommand(
      "sources",
      "Write the embedded scenario's line and train sources and its three "
      "driver documents, a starting point that compiles");
  sources
      ->add_option("-o,--output", *sources_dir,
                   "directory that receives the files (created when missing; "
                   "default: the working directory)")
      ->option_text("DIR");
  sources->add_flag("--force", *force,
                    "replace files that differ from what would be written "
                    "(without it they are named and nothing is written)");
  sources->footer(
      "Examples:\n"
      "  scenarioc sources -o mine\n"
      "  scenarioc compile mine/Firenze_Pisa_linea.txt "
      "mine/Firenze_Pisa_11711-.txt -o mine\n");
  sources->callback([sources_dir, force, &status] {
    status = guarded([&] { return run_sources(*sources_dir, *force); });
  });
}

}  // namespace scenc::tools
