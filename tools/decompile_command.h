// `scenarioc decompile`: the line source and train source that compile to a
// scenario's files; `scenarioc diff`: the source rows in which two
// scenarios differ.
#pragma once

#include <ostream>
#include <string>

namespace scenc::tools {

struct DecompileRequest {
  std::string scenario;  // directory, beginning of the names, or a file
  std::string out_dir = ".";
  bool force = false;   // replace sources that differ
  bool strict = false;  // a doubt fails the run
};

// Writes the two sources and returns the exit status; notes go to `err`.
int run_decompile(const DecompileRequest& request, std::ostream& err);

// Writes the rows that differ to `out` and returns the exit status: 0 none.
int run_diff(const std::string& a, const std::string& b, std::ostream& out,
             std::ostream& err);

}  // namespace scenc::tools
