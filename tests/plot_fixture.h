// Sources for the tests of the plot: the embedded scenario's two sources,
// edited row by row where a test wants a fault, and the generated maximal
// scenario, written into a directory under the names a compile reads.
#pragma once

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "testing/generate_scenario.h"
#include "scenario/emitters.h"

namespace scenc::testing {

struct SourcePaths {
  std::filesystem::path line;
  std::filesystem::path train;
};

// One edit of a source: the first occurrence of `from` becomes `to`.
struct SourceEdit {
  bool in_train;
  std::string from;
  std::string to;
};

inline SourcePaths write_sources(const std::filesystem::path& dir,
                                 const std::string& line_name,
                                 const std::string& train_number,
                                 const std::string& line,
                                 const std::string& train) {
  SourcePaths paths{dir / (line_name + "_linea.txt"),
                    dir / (line_name + "_" + train_number + "-.txt")};
  std::ofstream(paths.line, std::ios::binary) << line;
  std::ofstream(paths.train, std::ios::binary) << train;
  return paths;
}

inline SourcePaths embedded_sources(const std::filesystem::path& dir,
                                    const std::vector<SourceEdit>& edits = {}) {
  std::string line = embedded_line_source();
  std::string train = embedded_train_source();
  for (const SourceEdit& e : edits) {
    std::string& text = e.in_train ? train : line;
    const auto at = text.find(e.from);
    if (at == std::string::npos) throw std::logic_error("no " + e.from);
    text.replace(at, e.from.size(), e.to);
  }
  return write_sources(dir, "Firenze_Pisa", "11711", line, train);
}

inline SourcePaths maximal_sources(const std::filesystem::path& dir) {
  const bench::MaximalScenario s = bench::generate_maximal_scenario();
  return write_sources(dir, "Massima", "10001", s.line_source, s.train_source);
}

}  // namespace scenc::testing
