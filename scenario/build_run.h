// The build run of one scenario, shared by the scenario program and
// `scenarioc`: the five texts written, the sources compiled, the track cells
// finished and stamped, and the three binary files written. It works through
// an OutputDirectory and a SourceStore, so the caller decides where the files
// lie; the program's host adds the window and the error exit around it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/compile_observer.h"
#include "compiler/memorizza_dati.h"
#include "compiler/source_store.h"
#include "model/track_model.h"
#include "output/output_directory.h"
#include "scenario/exit_status.h"

namespace scenc {

// The identity of the one scenario the program carries.
inline constexpr std::string_view kEmbeddedLineName = "Firenze_Pisa";
inline constexpr std::string_view kEmbeddedTrainNumber = "11711";

// The text the error exit shows for the number `a`.
std::string error_exit_text(const std::string& a);

// Gives `model` the embedded scenario's identity.
void set_embedded_identity(Model& model);

// Writes the five texts of the scenario named in `model` into `out`, in the
// order of a build run: line source, train source, notes, slow-order notice,
// timetable card. File failures throw FileError from `out`.
void write_scenario_texts(const Model& model, OutputDirectory& out);

struct BuildOutcome {
  // 0, or the number the error exit shows; no binary file is written then.
  std::int32_t error_exit = 0;
  // Names of the binary files written, in order.
  std::vector<std::string> files_written;
};

// Clears the slots, sets `write_line_file` to `j`, compiles the sources and
// runs the finishing pass with its stamps and codes: everything of a build
// but the files. A compile that leaves no track cells goes to the error exit
// with its fault number. `observer`, when given, sees what the compile reads;
// `mode` tells a build's compile from one that only looks for faults.
BuildOutcome compile_scenario(Model& model, std::int32_t j,
                              SourceStore& sources,
                              CompileObserver* observer = nullptr,
                              CompileMode mode = CompileMode::kBuild);

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

// The exit status of a build that ended with `outcome` and left `model`.
int exit_status_of(const Model& model, const BuildOutcome& outcome);

}  // namespace scenc
