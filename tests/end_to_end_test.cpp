// The whole build run: the shipped program over its embedded scenario, and
// the build run over injected sources for the statuses a clean scenario
// cannot reach.
#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <set>

#include "app/form1.h"
#include "child_process.h"
#include "compile_fixture.h"
#include "embedded_run.h"
#include "sha256.h"

namespace scenc {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::lines;
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
  EXPECT_EQ(names, (std::set<std::string>{
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
  EXPECT_EQ(testing::sha256_hex(geometry), digests.at("Firenze_Pisa_linea.dat"));
  EXPECT_EQ(testing::sha256_hex(slots), digests.at("Firenze_Pisa_11711.sim"));
  EXPECT_EQ(testing::sha256_hex(cells), digests.at("Firenze_Pisa_11711.dat"));
}

// The build run with the compiler fed other sources than the ones the
// emitters wrote, so that its other endings can be seen.
class RecordingPlatform final : public Platform {
 public:
  void show_waiting_window() override {}
  void show_error_box(const std::string& text) override { shown = text; }
  std::string shown;
};

struct BuildRunResult {
  int status;
  std::string shown;
  std::set<std::string> files;
  Model model;
};

BuildRunResult run_build(std::optional<std::string> line, std::optional<std::string> train) {
  BuildRunResult result;
  RecordingPlatform platform;
  MemoryDirectory dir;
  MemorySources sources;
  sources.line = std::move(line);
  sources.train = std::move(train);
  result.status = Form1(result.model, platform, dir, sources).Form_Load();
  result.shown = platform.shown;
  for (const auto& [name, bytes] : dir.files) result.files.insert(name);
  return result;
}

const std::set<std::string> kTexts = {
    "Firenze_Pisa_linea.txt", "Firenze_Pisa_11711-.txt", "Firenze_Pisa_11711_note.txt",
    "Firenze_Pisa_11711_rallentamenti.txt", "Firenze_Pisa_11711_scheda_treno.txt"};

std::set<std::string> with_binaries(std::set<std::string> names) {
  names.insert({"Firenze_Pisa_linea.dat", "Firenze_Pisa_11711.sim", "Firenze_Pisa_11711.dat"});
  return names;
}

TEST(BuildRun, EndsWithTheStatusOfWhatHappened) {
  const std::string line = testing::line_source("");
  // A recorded fault: the second signal on a taken cell. Files are written.
  auto r = run_build(line, testing::train_source(lines({"segnale, 1000, 1,4,1,0,0, 0,0,0,0,0",
                                                        "segnale, 1000, 1,4,1,0,0, 0,0,0,0,0"})));
  EXPECT_EQ(r.status, exit_status::kFaultRecorded);
  EXPECT_EQ(r.model.error_code, 16);
  EXPECT_EQ(r.shown, "");
  EXPECT_EQ(r.files, with_binaries(kTexts));

  // A finishing mark on cell 1: a signal at cell 3 with cell 2 taken, within
  // 20 cells before a slow-order warning. The error exit shows 1250 and no
  // binary file is written.
  r = run_build(line, testing::train_source(lines({"abbattimento, 100, 5",
                                                   "segnale, 100, 1,4,1,0,0, 0,0,0,0,0",
                                                   "rallentamento, 2000, 30, 50, 0, 0, 0"})));
  EXPECT_EQ(r.status, exit_status::kErrorExit);
  EXPECT_EQ(r.shown, " Errore n. 1250");
  EXPECT_EQ(r.files, kTexts);

  // No line source: no track cells, so the error exit shows the fault.
  r = run_build(std::nullopt, testing::train_source(""));
  EXPECT_EQ(r.status, exit_status::kErrorExit);
  EXPECT_EQ(r.shown, " Errore n. 101");
  EXPECT_EQ(r.files, kTexts);
}

// Memory that runs out while the compile reads its sources: the build run
// ends with the failure, not with fault 25 and files from a half-built model.
TEST(BuildRun, RunningOutOfMemoryIsNoFaultOfTheSources) {
  const std::string line = testing::line_source("");
  struct : SourceStore {
    Status load(SourceKind source, std::string& bytes) override {
      if (source == SourceKind::kTrain) throw std::bad_alloc();
      bytes = text;
      return Status::kOk;
    }
    bool remove(SourceKind source) override {
      removed.insert(source);
      return true;
    }
    std::string text;
    std::set<SourceKind> removed;
  } sources;
  sources.text = line;
  RecordingPlatform platform;
  MemoryDirectory dir;
  Model model;
  Form1 form(model, platform, dir, sources);
  EXPECT_THROW(form.Form_Load(), std::bad_alloc);
  EXPECT_EQ(model.error_code, 0);
  // Both sources were let go, and no binary file was written.
  EXPECT_EQ(sources.removed,
            (std::set<SourceKind>{SourceKind::kLine, SourceKind::kTrain}));
  std::set<std::string> files;
  for (const auto& [name, bytes] : dir.files) files.insert(name);
  EXPECT_EQ(files, kTexts);
}

}  // namespace
}  // namespace scenc
