// The embedded scenario's two sources as texts, for the tests that edit
// them row by row or check them in memory.
#pragma once

#include <string>

#include "scenario/emitters.h"

namespace scenc::testing {

struct SourceTexts {
  std::string line;
  std::string train;
};

// As the scenario program writes them, CR LF after every line.
inline SourceTexts embedded_source_texts() {
  return {embedded_line_source(), embedded_train_source()};
}

}  // namespace scenc::testing
