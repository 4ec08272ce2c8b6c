// The whole build run: the shipped program over its embedded scenario.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

#include "child_process.h"
#include "embedded_run.h"
#include "sha256.h"

namespace scenc {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::read_file;

std::int16_t i16_at(const std::string& bytes, std::size_t offset) {
  return static_cast<std::int16_t>(static_cast<unsigned char>(bytes[offset]) |
                                   (static_cast<unsigned char>(bytes[offset + 1]) << 8));
}

TEST(EndToEnd, ScenarioProgramLeavesExactlyItsSixFiles) {
  const testing::TemporaryDirectory temp("scenario-e2e");
  const fs::path& dir = temp.path();
  ASSERT_FALSE(dir.empty());
  fs::copy_file(fs::path(SCENARIO_BIN_DIR) / "scenario", dir / "scenario");

  ChildProcess run({(dir / "scenario").string()}, {.environment = {{"DISPLAY", std::nullopt}}});
  ASSERT_TRUE(run.started());
  ASSERT_EQ(run.wait_for_exit(std::chrono::seconds(60)), 0) << run.stderr_text();

  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  // Beside the six files, the lock file through which runs in one
  // directory take turns.
  EXPECT_EQ(
      names,
      (std::set<std::string>{
          "scenario", testing::kRunLockFile, "Firenze_Pisa_11711_note.txt",
          "Firenze_Pisa_11711_rallentamenti.txt",
          "Firenze_Pisa_11711_scheda_treno.txt", "Firenze_Pisa_linea.dat",
          "Firenze_Pisa_11711.sim", "Firenze_Pisa_11711.dat"}));

  const std::string geometry = read_file(dir / "Firenze_Pisa_linea.dat");
  const std::string slots = read_file(dir / "Firenze_Pisa_11711.sim");
  const std::string cells = read_file(dir / "Firenze_Pisa_11711.dat");
  EXPECT_EQ(geometry.size(), 1779964u);
  EXPECT_EQ(cells.size(), 26715u);
  // 87 records of 34 bytes, the sixteen station names, the three signboard
  // texts and the two names of the scenario.
  EXPECT_EQ(slots.size(), 2958u + 152u + 66u + 17u);
  // Cell 1 carries the format stamp and the plain code.
  EXPECT_EQ(i16_at(cells, 15 + 1), 5121);
  EXPECT_EQ(i16_at(cells, 15 + 3), 2438);
  // The slow order at 9300 m and its finishing marks.
  for (int cell : {182, 176, 169, 196}) {
    EXPECT_EQ(cells[15 * static_cast<std::size_t>(cell)], 12) << cell;
    EXPECT_EQ(i16_at(cells, 15 * static_cast<std::size_t>(cell) + 1), 180) << cell;
  }

  const auto& digests = testing::embedded_file_digests();
  EXPECT_EQ(testing::sha256_hex(geometry),
            digests.at("Firenze_Pisa_linea.dat"));
  EXPECT_EQ(testing::sha256_hex(slots), digests.at("Firenze_Pisa_11711.sim"));
  EXPECT_EQ(testing::sha256_hex(cells), digests.at("Firenze_Pisa_11711.dat"));
}

}  // namespace
}  // namespace scenc
