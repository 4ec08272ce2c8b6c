// Runs of the scenario program in one directory take turns: each holds the
// directory's lock file for its whole run, so that no run removes the
// sources another is about to read or mixes its files with another's.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "child_process.h"
#include "embedded_run.h"
#include "sha256.h"

namespace scenc {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ChildProcess;

using testing::kRunLockFile;

// The program, its lock file and the files of one run.
std::set<std::string> left_by_a_run() {
  std::set<std::string> names = testing::files_of_a_run();
  names.insert({"scenario", kRunLockFile});
  return names;
}

std::set<std::string> names_in(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) {
    names.insert(e.path().filename().string());
  }
  return names;
}

class ParallelRunsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.empty());
    fs::copy_file(fs::path(SCENARIO_BIN_DIR) / "scenario", dir / "scenario");
  }

  std::unique_ptr<ChildProcess> start_run() const {
    return std::make_unique<ChildProcess>(
        std::vector<std::string>{(dir / "scenario").string()},
        ChildProcess::Options{.environment = {{"DISPLAY", std::nullopt}}});
  }

  // The binary files on disk are exactly the embedded scenario's.
  void expect_pinned_files(int round) const {
    for (const auto& [name, digest] : testing::embedded_file_digests()) {
      EXPECT_EQ(testing::sha256_hex(testing::read_file(dir / name)), digest)
          << name << " after round " << round;
    }
  }

  testing::TemporaryDirectory temp{"scenario-parallel"};
  const fs::path dir = temp.path();
};

TEST_F(ParallelRunsTest, RunsStartedTogetherEachBuildTheWholeScenario) {
  for (int round = 0; round < 20; ++round) {
    std::vector<std::unique_ptr<ChildProcess>> runs;
    for (int i = 0; i < 2; ++i) runs.push_back(start_run());
    for (auto& run : runs) {
      ASSERT_TRUE(run->started());
      EXPECT_EQ(run->wait_for_exit(60s), 0)
          << "round " << round << ": " << run->stderr_text();
    }
    expect_pinned_files(round);
    EXPECT_EQ(names_in(dir), left_by_a_run()) << "round " << round;
    if (::testing::Test::HasFailure()) return;
  }
}

// A run that finds the directory's lock taken waits for it without touching
// a file, then does its own whole run.
TEST_F(ParallelRunsTest, ARunWaitsWhileTheLockIsHeld) {
  const int lock =
      ::open((dir / kRunLockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  auto run = start_run();
  ASSERT_TRUE(run->started());
  EXPECT_FALSE(run->wait_for_exit(700ms)) << run->stderr_text();
  EXPECT_EQ(names_in(dir), (std::set<std::string>{"scenario", kRunLockFile}));

  ::close(lock);
  EXPECT_EQ(run->wait_for_exit(60s), 0) << run->stderr_text();
  expect_pinned_files(0);
  EXPECT_EQ(names_in(dir), left_by_a_run());
}

}  // namespace
}  // namespace scenc
