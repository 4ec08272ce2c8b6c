// Replays the fuzz seed corpus and every input that once broke the build
// through the fuzz targets' own entry points, so that a fault the fuzzers
// found stays fixed (run under the sanitizers in CI).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/decompile_entry.h"
#include "fuzz/fuzz_entries.h"
#include "fuzz/lsp_entry.h"
#include "scenario/emitters.h"

namespace scenc {
namespace {

std::string contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void replay(const std::string& input, const std::string& what) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(input.data());
  EXPECT_EQ(fuzz::read_fields(data, input.size()), "") << what;
  EXPECT_EQ(fuzz::build_scenario(data, input.size()), "") << what;
}

TEST(FuzzReplay, SeedsAndFoundInputsRunClean) {
  int seeds = 0;
  for (const char* dir : {"corpus", "crashes"}) {
    const auto path = std::filesystem::path(SCENARIO_SOURCE_DIR) / "fuzz" / dir;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
      if (!entry.is_regular_file() ||
          entry.path().filename().string()[0] == '.') {
        continue;
      }
      replay(contents(entry.path()), entry.path().string());
      if (std::string(dir) == "corpus") ++seeds;
    }
  }
  EXPECT_GE(seeds, 4);
}

TEST(FuzzReplay, EmbeddedSourcesRunClean) {
  // The texts as the emitters write them today, whatever the seed files hold.
  const std::string both =
      embedded_line_source() + '\0' + embedded_train_source();
  replay(both, "embedded sources");
  replay(both + std::string("\0\1", 2), "embedded sources with the geometry");
}

TEST(FuzzReplay, LanguageServerSeedsRunClean) {
  int seeds = 0;
  const auto dir = std::filesystem::path(SCENARIO_SOURCE_DIR) / "fuzz/lsp_corpus";
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    const std::string input = contents(entry.path());
    EXPECT_EQ(fuzz::serve_bytes(reinterpret_cast<const std::uint8_t*>(input.data()),
                                input.size()),
              "")
        << entry.path();
    ++seeds;
  }
  EXPECT_GE(seeds, 2);
}

TEST(FuzzReplay, DecompileSeedsRunClean) {
  int seeds = 0;
  const auto dir =
      std::filesystem::path(SCENARIO_SOURCE_DIR) / "fuzz/decompile_corpus";
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    const std::string input = contents(entry.path());
    const auto* data = reinterpret_cast<const std::uint8_t*>(input.data());
    EXPECT_EQ(fuzz::decompile_bytes(data, input.size()), "") << entry.path();
    // The seeds are files of fault-free builds: they round-trip.
    const tools::ScenarioBytes files = fuzz::files_of(data, input.size());
    EXPECT_TRUE(
        tools::decompile(tools::decode_scenario(files), files).same_bytes)
        << entry.path();
    ++seeds;
  }
  EXPECT_GE(seeds, 2);
}

}  // namespace
}  // namespace scenc
