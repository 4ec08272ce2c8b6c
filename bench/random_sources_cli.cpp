// random_sources: writes random source pairs into a directory, one directory
// per seed holding the line and train sources under the names the scenario
// program gives them and a note on how the pair was made, ready for
// `scenarioc compile`; or, with --fuzz, one file per seed in the input form
// of the compile fuzzer (line source, NUL, train source, NUL, the geometry
// switch), to seed a fuzzing run.
//
//   random_sources --seed S [--count N] --out DIR [--fuzz]
//
// Prints one line per pair: where it went and how it was made.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "testing/random_sources.h"

namespace {

int usage() {
  std::fprintf(
      stderr,
      "usage: random_sources --seed S [--count N] --out DIR [--fuzz]\n");
  return 64;
}

bool parse_count(const char* text, std::uint64_t& value) {
  char* end = nullptr;
  value = std::strtoull(text, &end, 10);
  return end != text && *end == '\0';
}

bool write_fuzz_input(const scenc::bench::SourcePair& pair,
                      const std::filesystem::path& file) {
  std::string input = pair.line + '\0' + pair.train + '\0';
  input += static_cast<char>(pair.write_line_file != 0 ? 1 : 0);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(input.data(), static_cast<std::streamsize>(input.size()));
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t seed = 0;
  std::uint64_t count = 1;
  std::filesystem::path out;
  bool have_seed = false;
  bool fuzz = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--seed" && has_value) {
      if (!parse_count(argv[++i], seed)) return usage();
      have_seed = true;
    } else if (arg == "--count" && has_value) {
      if (!parse_count(argv[++i], count)) return usage();
    } else if (arg == "--out" && has_value) {
      out = argv[++i];
    } else if (arg == "--fuzz") {
      fuzz = true;
    } else {
      return usage();
    }
  }
  if (!have_seed || out.empty()) return usage();

  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  if (ec) {
    std::fprintf(stderr, "random_sources: cannot create %s: %s\n", out.c_str(),
                 ec.message().c_str());
    return 3;
  }
  for (std::uint64_t s = seed; s - seed < count; ++s) {
    const scenc::bench::SourcePair pair = scenc::bench::random_source_pair(s);
    const std::filesystem::path place = out / ("seed-" + std::to_string(s));
    // The fuzzer's input form has no way to leave out the line source.
    if (fuzz && pair.line_missing) continue;
    const bool written = fuzz ? write_fuzz_input(pair, place)
                              : scenc::bench::write_source_pair(pair, place);
    if (!written) {
      std::fprintf(stderr, "random_sources: cannot write %s\n", place.c_str());
      return 3;
    }
    std::printf("%s: %s\n", place.c_str(), pair.how.c_str());
  }
  return 0;
}
