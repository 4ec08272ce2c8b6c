// `scenarioc dump`: decodes one compiled scenario file and shows it as text
// for people or as JSON for programs.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

namespace scenc::tools {

struct DumpRequest {
  std::filesystem::path file;
  std::string kind;  // "cells", "slots", "geometry"; empty: by the name
  bool json = false;
  bool all = false;  // every record, the empty ones too; every metre
};

// Writes the dump to `out` and any error or note to `err`; returns the
// exit status.
int run_dump(const DumpRequest& request, std::ostream& out, std::ostream& err);

}  // namespace scenc::tools
