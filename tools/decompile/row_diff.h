// The difference of two sources as rows: the rows one has and the other
// has not, each under the header of its section, in the order the sources
// write them.
#pragma once

#include <string>
#include <vector>

#include "tools/decompile/source_text.h"

namespace scenc::tools {

struct DiffLine {
  char mark;         // ' ' a section header shown for context, '-' a row of
                     // the first only, '+' of the second only
  std::string text;  // the row as text, Windows-1252
};

// Empty when both sources hold the same rows in every section.
std::vector<DiffLine> diff_sources(const RecoveredSource& before,
                                   const RecoveredSource& after);

}  // namespace scenc::tools
