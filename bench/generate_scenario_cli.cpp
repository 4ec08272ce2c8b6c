// generate_scenario: writes the generated maximal scenario's two sources into
// a directory, named as the scenario program names its own, so that
// `scenarioc compile` takes the line name and train number from them.
//
//   generate_scenario DIR [LINE_NAME [TRAIN_NUMBER]]
//
// Prints the paths of the line source and the train source, one a line.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "testing/generate_scenario.h"
#include "output/scenario_files.h"

namespace {

bool write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "generate_scenario: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: generate_scenario DIR [LINE_NAME [TRAIN_NUMBER]]\n");
    return 64;
  }
  const std::filesystem::path dir = argv[1];
  const std::string line_name = argc > 2 ? argv[2] : "Massima";
  const std::string train_number = argc > 3 ? argv[3] : "10001";

  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    std::fprintf(stderr, "generate_scenario: cannot create %s: %s\n", dir.c_str(),
                 ec.message().c_str());
    return 3;
  }
  const scenc::bench::MaximalScenario s = scenc::bench::generate_maximal_scenario();
  scenc::Model names;
  names.line_name = line_name;
  names.train_number = train_number;
  const auto line = dir / scenc::ScenarioFileNames::line_source(names);
  const auto train = dir / scenc::ScenarioFileNames::train_source(names);
  if (!write_file(line, s.line_source) || !write_file(train, s.train_source)) return 3;
  std::printf("%s\n%s\n", line.c_str(), train.c_str());
  return 0;
}
