// Sources built to hurt: huge, one endless line, a line of the greatest
// length full of curves, binary noise. Each build ends with a recorded fault
// or a clean result and keeps every promise of a build (see check_build);
// the sanitizer job shows that nothing outside the arrays is touched. Their
// cost is measured in bench/hostile_bench.cpp, never here.
#include "tests/hostile_sources.h"

#include <gtest/gtest.h>

#include "fuzz/fuzz_entries.h"
#include "scenario/emitters.h"

namespace scenc {
namespace {

TEST(HostileSources, EndInARecordedFaultOrACleanResult) {
  const struct {
    const char* what;
    std::string line;
    std::string train;
    std::int32_t fault;  // -1: any known fault, or none
  } cases[] = {
      {"50 MB of commas", embedded_line_source(), hostile::commas(50u << 20),
       0},
      // A signboard text too long for a slot name's 16-bit length.
      {"one line of 10 MB", hostile::one_long_line(10u << 20),
       hostile::small_train(), 25},
      {"10 MB of length rows", hostile::length_rows(10u << 20),
       hostile::small_train(), 0},
      {"1000000 m with 4000 curves", hostile::many_curves(1000000, 4000),
       hostile::small_train(), 0},
      {"noise as the line source", hostile::noise(1u << 20, 1),
       embedded_train_source(), -1},
      {"noise as the train source", embedded_line_source(),
       hostile::noise(1u << 20, 2), -1},
  };
  for (const auto& k : cases) {
    const fuzz::CheckedBuild b = fuzz::check_build(k.line, k.train, 1);
    EXPECT_EQ(b.problem, "") << k.what;
    if (k.fault >= 0) {
      EXPECT_EQ(b.model.error_code, k.fault) << k.what;
    }
  }
}

}  // namespace
}  // namespace scenc
