// Sources built to hurt: huge, one endless line, a line of the greatest
// length full of curves or of mountains, binary noise. Each build ends with a
// recorded fault or a clean result and keeps every promise of a build (see
// check_build), in memory and through `scenarioc compile` as a real process;
// the sanitizer job shows that nothing outside the arrays is touched. Their
// cost is measured in bench/hostile_bench.cpp, never here.
#include "testing/hostile_sources.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <vector>

#include "child_process.h"
#include "fuzz/fuzz_entries.h"
#include "scenario/emitters.h"

namespace scenc {
namespace {

namespace fs = std::filesystem;

struct HostileCase {
  const char* what;
  std::string line;
  std::string train;
  std::int32_t fault;  // -1: any known fault, or none
  int status;          // of scenarioc compile; -1: 0 or 1
};

std::vector<HostileCase> hostile_cases() {
  return {
      {"50 MB of commas", embedded_line_source(), hostile::commas(50u << 20), 0,
       0},
      // A signboard text too long for a slot name's 16-bit length.
      {"one line of 10 MB", hostile::one_long_line(10u << 20),
       hostile::small_train(), 25, 1},
      {"10 MB of length rows", hostile::length_rows(10u << 20),
       hostile::small_train(), 0, 0},
      {"1000000 m with 4000 curves", hostile::many_curves(1000000, 4000),
       hostile::small_train(), 0, 0},
      // 40,000 rows of 20,000 cells each.
      {"1 MB of mountain rows over the longest line",
       hostile::mountain_rows(1u << 20), hostile::small_train(), 0, 0},
      // No "[generale]": no grid, so the error exit.
      {"noise as the line source", hostile::noise(1u << 20, 1),
       embedded_train_source(), 102, 2},
      {"noise as the train source", embedded_line_source(),
       hostile::noise(1u << 20, 2), -1, -1},
  };
}

TEST(HostileSources, EndInARecordedFaultOrACleanResult) {
  for (const HostileCase& k : hostile_cases()) {
    const fuzz::CheckedBuild b = fuzz::check_build(k.line, k.train, 1);
    EXPECT_EQ(b.problem, "") << k.what;
    if (k.fault >= 0) {
      EXPECT_EQ(b.model.error_code, k.fault) << k.what;
    }
  }
}

TEST(HostileSources, ScenariocCompileEndsWithAStatusNeverASignal) {
  const testing::TemporaryDirectory temp("scenc-hostile");
  const fs::path& dir = temp.path();
  ASSERT_FALSE(dir.empty());
  for (const HostileCase& k : hostile_cases()) {
    std::ofstream(dir / "line.txt", std::ios::binary) << k.line;
    std::ofstream(dir / "train.txt", std::ios::binary) << k.train;
    testing::ChildProcess child(
        {fs::path(SCENARIO_BIN_DIR) / "scenarioc", "compile",
         (dir / "line.txt").string(), (dir / "train.txt").string(), "-o",
         (dir / "out").string()},
        {});
    const std::optional<int> status =
        child.wait_for_exit(std::chrono::minutes(5));
    ASSERT_TRUE(status.has_value()) << k.what << " still runs";
    if (k.status >= 0) {
      EXPECT_EQ(*status, k.status) << k.what << "\n" << child.stderr_text();
    } else {
      EXPECT_TRUE(*status == 0 || *status == 1)
          << k.what << ": " << *status << "\n"
          << child.stderr_text();
    }
  }
}

}  // namespace
}  // namespace scenc
