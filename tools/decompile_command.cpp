// The decompile and diff subcommands: a scenario's compiled files back into
// the two sources that compile to them, and the difference of two
// scenarios as the source rows that differ.
#include "tools/decompile_command.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "model/cp1252.h"
#include "output/file_system.h"
#include "tools/commands.h"
#include "tools/decompile/decompile.h"
#include "tools/decompile/row_diff.h"
#include "tools/decode/source_names.h"

namespace scenc::tools {
namespace {

namespace fs = std::filesystem;

const fs::path& path_of(const ScenarioBytes& files, FileKind kind) {
  static const fs::path none("line geometry");
  switch (kind) {
    case FileKind::kCells:
      return files.cell_path;
    case FileKind::kSlots:
      return files.slot_path;
    case FileKind::kGeometry:
      return files.geometry_path ? *files.geometry_path : none;
  }
  return none;
}

const char* severity_word(DecompileNote::Severity s) {
  switch (s) {
    case DecompileNote::Severity::kNote:
      return "note";
    case DecompileNote::Severity::kWarning:
      return "warning";
    case DecompileNote::Severity::kError:
      return "error";
  }
  return "";
}

// "out/a.dat: cell 140 at offset 2100: warning: ...", as dump names the
// records of a damaged file.
void print_notes(std::ostream& err, const ScenarioBytes& files,
                 const std::vector<DecompileNote>& notes) {
  for (const DecompileNote& n : notes) {
    err << path_of(files, n.file).string() << ": " << n.record;
    if (n.record.starts_with("cell ") || n.record.starts_with("slot ") ||
        n.record.starts_with("metre ")) {
      err << " at offset " << n.offset;
    }
    err << ": " << severity_word(n.severity) << ": " << n.message << "\n";
  }
}

// What already lies under a name: nothing, the same bytes, or other ones.
bool holds_other(const fs::path& file, const std::string& bytes) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return false;
  std::string held;
  return read_whole_file(file, held, nullptr) != SourceStore::Status::kOk ||
         held != bytes;
}

int decompile_to_disk(const DecompileRequest& o, std::ostream& err) {
  const ScenarioBytes files = read_scenario_files(o.scenario);
  const ScenarioSet set = decode_scenario(files);
  const DecompiledScenario d = decompile(set, files);
  print_notes(err, files, d.notes);

  // An author's own sources under these names are never replaced unasked.
  const fs::path dir = o.out_dir.empty() ? fs::path(".") : fs::path(o.out_dir);
  const std::pair<std::string, const std::string*> sources[] = {
      {d.line_source_name, &d.line_source},
      {d.train_source_name, &d.train_source}};
  bool refused = false;
  for (const auto& [name, bytes] : sources) {
    if (!o.force && holds_other(dir / name, *bytes)) {
      err << "scenarioc decompile: " << (dir / name).string()
          << " differs from what decompile would write; give --force to "
             "replace it\n";
      refused = true;
    }
  }
  if (refused) return exit_status::kUsageError;
  std::error_code ec;
  fs::create_directories(dir, ec);
  DiskDirectory disk(dir);
  for (const auto& [name, bytes] : sources) {
    disk.write(name, [&](ByteWriter& w) { w.bytes(*bytes); });
  }
  err << "scenarioc decompile: wrote " << (dir / d.line_source_name).string()
      << " and " << (dir / d.train_source_name).string() << "; compiled"
      << (d.with_geometry ? "" : " with --no-geometry") << ", they give "
      << (d.same_bytes ? "the same files, byte for byte"
                       : "other files than these (the errors above say where)")
      << "\n";
  if (!d.same_bytes) return exit_status::kFaultRecorded;
  if (o.strict && d.has_doubts()) {
    err << "scenarioc decompile: --strict: the warnings above name records "
           "the sources can only guess at\n";
    return exit_status::kFaultRecorded;
  }
  return exit_status::kClean;
}

// ---- diff ----------------------------------------------------------------

// One side of a diff: its files, compiled from sources when a source was
// named, and its rows.
struct Side {
  std::string what;  // how the person named it
  ScenarioBytes files;
  DecompiledScenario rows;
};

std::string read_source(const fs::path& path) {
  std::string bytes;
  std::string reason;
  if (read_whole_file(path, bytes, &reason) != SourceStore::Status::kOk) {
    throw ToolError{exit_status::kFileFailed, path.string() + ": " + reason};
  }
  return bytes;
}

// The train source beside a line source: the one "<line>_*-.txt" there.
fs::path train_beside(const fs::path& line_source) {
  const std::string line = default_line_name(line_source);
  const fs::path dir =
      line_source.has_parent_path() ? line_source.parent_path() : fs::path(".");
  std::vector<fs::path> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (is_train_of(entry.path().filename().string(), line)) {
      found.push_back(entry.path());
    }
  }
  if (found.size() != 1) {
    throw ToolError{
        exit_status::kUsageError,
        line_source.string() + (found.empty()
                                    ? ": no train source of its line beside it"
                                    : ": several train sources of its line "
                                      "beside it; name the train source")};
  }
  return found.front();
}

// The line source beside a train source, by the names its file name may
// hold.
fs::path line_beside(const fs::path& train_source) {
  const fs::path dir = train_source.has_parent_path()
                           ? train_source.parent_path()
                           : fs::path(".");
  for (const std::string& line :
       line_names_of_train(train_source.filename().string())) {
    const fs::path candidate = dir / line_source_name(line);
    std::error_code ec;
    if (fs::exists(candidate, ec)) return candidate;
  }
  throw ToolError{
      exit_status::kUsageError,
      train_source.string() + ": no line source of its line beside it"};
}

Side side_of(const std::string& name) {
  Side side;
  side.what = name;
  const fs::path path(name);
  const SourceKind kind = source_kind_of_name(path.filename().string());
  if (kind == SourceKind::kNone) {
    side.files = read_scenario_files(path);
  } else {
    const fs::path line = kind == SourceKind::kLine ? path : line_beside(path);
    const fs::path train =
        kind == SourceKind::kTrain ? path : train_beside(path);
    const std::string line_name = default_line_name(line);
    CompiledInMemory c = compile_in_memory(
        read_source(line), read_source(train), line_name,
        default_train_number(train, line_name), 1, line.parent_path());
    if (c.error_exit != 0) {
      throw ToolError{exit_status::kErrorExit,
                      name + ": the sources end at the error exit " +
                          std::to_string(c.error_exit) +
                          "; there is nothing to compare"};
    }
    side.what = line.string() + " and " + train.string();
    side.files = std::move(c.files);
  }
  side.rows = decompile(decode_scenario(side.files), side.files);
  return side;
}

// Curves are only compared where both sides hold a plan.
void drop_curves(RecoveredSource& line) {
  for (RecoveredSection& s : line.sections) {
    if (s.header == "[curve]") s.rows.clear();
  }
}

int print_diff(const std::string& what, const std::string& a_name,
               const std::string& b_name, const RecoveredSource& a,
               const RecoveredSource& b, std::ostream& out) {
  const std::vector<DiffLine> lines = diff_sources(a, b);
  if (lines.empty()) return 0;
  out << "--- " << what << " of " << a_name << "\n+++ " << what << " of "
      << b_name << "\n";
  for (const DiffLine& l : lines)
    out << l.mark << cp1252_to_utf8(l.text) << "\n";
  return 1;
}

int diff_sides(const std::string& a_name, const std::string& b_name,
               std::ostream& out, std::ostream& err) {
  Side a = side_of(a_name);
  Side b = side_of(b_name);
  for (const Side* s : {&a, &b}) {
    if (s->rows.has_doubts()) {
      err << "scenarioc diff: " << s->what
          << ": some records cannot be read back as rows exactly; the rows "
             "shown are the closest (scenarioc decompile names them)\n";
    }
  }
  if (a.rows.with_geometry != b.rows.with_geometry) {
    err << "scenarioc diff: only " << (a.rows.with_geometry ? a.what : b.what)
        << " holds a line geometry; the curves are not compared\n";
    drop_curves(a.rows.line);
    drop_curves(b.rows.line);
  }
  const int differ =
      print_diff("line source", a.what, b.what, a.rows.line, b.rows.line, out) |
      print_diff("train source", a.what, b.what, a.rows.train, b.rows.train,
                 out);
  const bool same_files = a.files.slots == b.files.slots &&
                          a.files.cells == b.files.cells &&
                          (a.files.geometry == b.files.geometry ||
                           !a.files.geometry || !b.files.geometry);
  if (!differ && !same_files) {
    out << "the files differ in records no source row shows; "
           "scenarioc decompile names them\n";
    return exit_status::kFaultRecorded;
  }
  return differ != 0 ? exit_status::kFaultRecorded : exit_status::kClean;
}

template <typename Run>
int guarded(const char* command, std::ostream& err, Run run) {
  try {
    return run();
  } catch (const ToolError& e) {
    err << "scenarioc " << command << ": " << e.message << "\n";
    return e.status;
  } catch (const FileError& e) {
    err << "scenarioc " << command << ": cannot write " << e.file << ": "
        << e.reason << "\n";
    return exit_status::kFileFailed;
  }
}

}  // namespace

int run_decompile(const DecompileRequest& request, std::ostream& err) {
  return guarded("decompile", err,
                 [&] { return decompile_to_disk(request, err); });
}

int run_diff(const std::string& a, const std::string& b, std::ostream& out,
             std::ostream& err) {
  return guarded("diff", err, [&] { return diff_sides(a, b, out, err); });
}

void register_decompile_commands(CLI::App& app, int& status) {
  auto o = std::make_shared<DecompileRequest>();
  CLI::App* decompile = app.add_subcommand(
      "decompile",
      "Write the line source and train source that compile to a scenario's "
      "files, byte for byte, and say where the files leave a doubt");
  decompile
      ->add_option("SCENARIO", o->scenario,
                   "a directory holding one scenario's files, the beginning of "
                   "their names (DIR/LINE_TRAIN), or one of the files")
      ->required();
  decompile
      ->add_option("-o,--output", o->out_dir,
                   "directory that receives the two sources (created when "
                   "missing; default: the working directory)")
      ->option_text("DIR");
  decompile->add_flag("--force", o->force,
                      "replace sources that differ from what would be written "
                      "(without it they are named and nothing is written)");
  decompile->add_flag(
      "--strict", o->strict,
      "fail (status 1) on any record the sources can only guess "
      "at, even where they compile to the same bytes");
  decompile->footer(
      "Examples:\n"
      "  scenarioc decompile out/ -o mine\n"
      "  scenarioc decompile out/Firenze_Pisa_11711.sim --strict\n"
      "Exit status: 0 the sources compile to the same files; 1 they do not, "
      "or a doubt under --strict; 3 a file could not be read or written; 64 "
      "usage error, or a source there differs; 65 a file is cut short or "
      "damaged.\n");
  decompile->callback([o, &status] { status = run_decompile(*o, std::cerr); });

  auto sides = std::make_shared<std::pair<std::string, std::string>>();
  CLI::App* diff = app.add_subcommand(
      "diff",
      "Show the source rows in which two scenarios differ: compiled files, or "
      "sources compiled in memory");
  const char* const side =
      "a scenario's directory, the beginning of its file names or one of its "
      "files; or a line or train source, compiled with the other source "
      "beside it";
  diff->add_option("A", sides->first, side)->required();
  diff->add_option("B", sides->second, side)->required();
  diff->footer(
      "Examples:\n"
      "  scenarioc diff old/ new/\n"
      "  scenarioc diff out/ mine/Firenze_Pisa_linea.txt\n"
      "Exit status: 0 no difference; 1 the scenarios differ; 2 sources end at "
      "their error exit; 3 a file could not be read; 64 usage error; 65 a "
      "file is cut short or damaged.\n");
  diff->callback([sides, &status] {
    status = run_diff(sides->first, sides->second, std::cout, std::cerr);
  });
}

}  // namespace scenc::tools
