#include <gtest/gtest.h>

#include <new>

#include "model/track_model.h"

namespace scenc {
namespace {

TEST(CellIndex, RoundsAfterAddingOneWithHalvesToEven) {
  const struct { std::int64_t position, cell; } cases[] = {
      {0, 1}, {25, 2}, {75, 2}, {125, 4}, {800, 17}, {775, 16},
      {825, 18}, {-25, 0}, {-75, 0}, {-76, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cell_index(c.position), c.cell) << c.position;
  }
}

TEST(LastCell, IsRoundedWithHalvesToEven) {
  const struct { std::int64_t length, last; } cases[] = {
      {25, 140}, {75, 142}, {82000, 1780}, {0, 140}, {1000000, 20140},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(last_cell_for_length(c.length), c.last) << c.length;
  }
}

TEST(Model, AllocationCreatesEmptyGridAndProfile) {
  Model m;
  m.clear_for_build(1);
  m.allocate_for_length(82000);
  ASSERT_EQ(m.last_cell(), 1780);
  EXPECT_EQ(m.line_profile.metre_count(), 89001);
  EXPECT_EQ(m.line_profile.tag(1, 89000), LineProfile::Tag::kEmpty);

  m.clear_for_build(0);
  m.line_profile.release();
  m.allocate_for_length(25);
  EXPECT_EQ(m.last_cell(), 140);
  EXPECT_FALSE(m.line_profile.exists());
}

// A profile whose storage cannot be had is no profile at all: nothing may
// read metres from an array that was never made.
TEST(Model, AProfileThatCannotBeAllocatedDoesNotExist) {
  LineProfile p;
  p.allocate(1000);
  // Metres past the address space of any machine.
  EXPECT_THROW(p.allocate(std::int64_t{1} << 45), std::bad_alloc);
  EXPECT_FALSE(p.exists());
  EXPECT_EQ(p.metre_count(), 0);
}

TEST(Model, ClearingEmptiesEverySlot) {
  Model m;
  // Assigned as a string: GCC 12 at -O3 takes the literal's assignment for
  // an overlapping copy (-Wrestrict).
  m.scenario_slots[3].name = std::string("X");
  m.scenario_slots[85].num4 = 7;
  m.error_code = 5;
  m.clear_for_build(1);
  for (const auto& s : m.scenario_slots) EXPECT_EQ(s, ScenarioSlot{});
  EXPECT_EQ(m.error_code, 0);
  EXPECT_EQ(m.write_line_file, 1);
}

}  // namespace
}  // namespace scenc
