// Compiling and writing one scenario: the part of a build run after the
// emitters. Shared by the scenario program and `scenarioc`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "compiler/source_store.h"
#include "model/track_model.h"
#include "output/output_directory.h"

namespace scenc {

struct BuildOutcome {
  // 0, or the number the error exit shows; no binary file is written then.
  std::int32_t error_exit = 0;
  // Names of the binary files written, in order.
  std::vector<std::string> files_written;
};

// Clears the slots, sets `write_line_file` to `j`, compiles the sources,
// runs the finishing pass with its stamps and codes, and writes the line
// geometry (when `j` is non-zero), slot and cell files into `out`. A
// compile that leaves no track cells goes to the error exit with its fault
// number. File failures throw FileError from `out`.
BuildOutcome memorizza_percorso(Model& model, std::int32_t j,
                                SourceStore& sources, OutputDirectory& out);

// Writes the three binary files of a finished model into `out`.
std::vector<std::string> write_scenario_files(const Model& model,
                                              OutputDirectory& out);

}  // namespace scenc
