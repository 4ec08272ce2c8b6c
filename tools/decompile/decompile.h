// Turns the three compiled files of a scenario back into a line source and a
// train source that compile to the same files, byte for byte: the general
// values from the slots, the rows of every stretch where the cells change,
// the curves from the plan metre by metre, the objects on the cells with
// what the finishing pass and the marks added around them left out, so
// that compiling again writes them once.
//
// Where the files cannot have come from any source, or two readings are
// possible, a note says so with the record and its offset; the sources
// written are then the closest found, and compiling them again tells
// whether they give the same bytes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/decompile/source_text.h"
#include "tools/decode/scenario_set.h"

namespace scenc::tools {

struct DecompileNote {
  enum class Severity {
    kNote,     // what the files do not say, and how the sources answer it
    kWarning,  // a record no fault-free compile writes, or two readings
    kError,    // the sources written do not compile to the same bytes
  };
  Severity severity = Severity::kNote;
  FileKind file = FileKind::kCells;
  std::string record;  // "cell 140", "slot 85", "metre 12 (x)"
  std::size_t offset = 0;
  std::string message;  // UTF-8
};

struct DecompiledScenario {
  // The names the slots hold, in UTF-8 as a file name carries them; the
  // compile turns them back into the slots' Windows-1252.
  std::string line_name;
  std::string train_number;
  std::string line_source_name;   // "<line>_linea.txt"
  std::string train_source_name;  // "<line>_<train>-.txt"
  RecoveredSource line;
  RecoveredSource train;
  std::string line_source;  // the bytes of the sources
  std::string train_source;
  bool with_geometry = false;  // false: compile with --no-geometry
  // Compiled again, the sources give the same files, byte for byte.
  bool same_bytes = false;
  std::vector<DecompileNote> notes;

  // True when a note is a warning or an error: what --strict refuses.
  bool has_doubts() const;
};

// Decompiles the files `bytes` holds, decoded as `set`. Throws ToolError
// when the slots hold no line length a compile accepts, or a grid of
// another size: no source compiles to them.
DecompiledScenario decompile(const ScenarioSet& set,
                             const ScenarioBytes& bytes);

// The files a compile of two sources writes, in memory, named as a compile
// beside the line source would name them: `names` gives the directory and
// the line name and train number (UTF-8), `write_line_file` whether the
// line geometry is built.
struct CompiledInMemory {
  ScenarioBytes files;
  std::int32_t error_code = 0;
  std::int32_t error_exit = 0;  // the build stopped at its error exit
};
CompiledInMemory compile_in_memory(const std::string& line_source,
                                   const std::string& train_source,
                                   const std::string& line_name,
                                   const std::string& train_number,
                                   std::int32_t write_line_file,
                                   const std::filesystem::path& dir = {});

}  // namespace scenc::tools
