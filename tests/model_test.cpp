#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <random>
#include <vector>

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

// What a pen must hand out, whatever shortcut it takes: each metre from the
// two before it, one at a time.
std::vector<std::uint64_t> one_metre_at_a_time(LinePen p, std::int64_t count,
                                               double turn) {
  std::vector<std::uint64_t> bits;
  for (std::int64_t i = 0; i < count; ++i) {
    const double dx = p.x1 - p.x0;
    const double dy = p.y1 - p.y0;
    const bool step =
        std::isfinite(dx) && dx != 0.0 && std::isfinite(dy) && dy != 0.0;
    const double x = turn == 0.0 && step ? p.x1 + dx : p.x1 + (dx + turn * dy);
    const double y = turn == 0.0 && step ? p.y1 + dy : p.y1 + (dy - turn * dx);
    bits.push_back(std::bit_cast<std::uint64_t>(x));
    bits.push_back(std::bit_cast<std::uint64_t>(y));
    p = LinePen{p.x1, x, p.y1, y};
  }
  bits.push_back(std::bit_cast<std::uint64_t>(p.x0));
  bits.push_back(std::bit_cast<std::uint64_t>(p.x1));
  bits.push_back(std::bit_cast<std::uint64_t>(p.y0));
  bits.push_back(std::bit_cast<std::uint64_t>(p.y1));
  return bits;
}

std::vector<std::uint64_t> as_drawn(LinePen p, std::int64_t count,
                                    double turn) {
  std::vector<std::uint64_t> bits;
  p.draw(count, turn, [&](double x, double y) {
    bits.push_back(std::bit_cast<std::uint64_t>(x));
    bits.push_back(std::bit_cast<std::uint64_t>(y));
  });
  for (const double v : {p.x0, p.x1, p.y0, p.y1}) {
    bits.push_back(std::bit_cast<std::uint64_t>(v));
  }
  return bits;
}

// Straight runs are drawn a block at a time where the sums are exact; every
// bit must still be the chain's, at the edges of exactness above all.
TEST(LinePen, DrawsEveryMetreAsTheChainDoes) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr double kTiny = std::numeric_limits<double>::denorm_min();
  constexpr double kHuge = std::numeric_limits<double>::max();
  const struct {
    const char* what;
    LinePen pen;
  } cases[] = {
      {"a step whose first sums round",
       {1000.0, 1000.7071067811865476, 2000.0, 2000.7071067811865476}},
      {"binades crossed upward", {1.0, 1.5, -1.0, -1.25}},
      {"binades crossed downward, through zero", {6.0, 5.0, -3.0, -2.5}},
      {"a level run: no step in y", {0.0, 1.0, 5.0, 5.0}},
      {"an upright run: no step in x", {-2.0, -2.0, 1.0, 1.75}},
      {"a level run at zero", {0.0, 1.0, 0.0, 0.0}},
      {"a level run at negative zero", {0.0, 1.0, -0.0, -0.0}},
      {"a level run between zeros", {0.0, 1.0, 0.0, -0.0}},
      {"standing still", {4.0, 4.0, 1.0, 1.0}},
      {"zeros of both signs", {-0.0, 0.0, 0.0, -0.0}},
      {"subnormal steps", {0.0, kTiny, kTiny, 3 * kTiny}},
      {"a run that overflows", {kHuge / 2, kHuge / 1.5, 1.0, 2.0}},
      {"steps beyond 2^53 units", {0.0, 0x1p60, 1.0, 0x1p-60}},
      {"not finite", {kInf, kInf, 1.0, 2.0}},
      {"not a number", {std::nan(""), 1.0, 1.0, 2.0}},
  };
  for (const auto& c : cases) {
    for (const double turn : {0.0, -0.0, 1e-3}) {
      for (const std::int64_t count : {0, 1, 31, 32, 33, 64, 65, 2000}) {
        EXPECT_EQ(as_drawn(c.pen, count, turn),
                  one_metre_at_a_time(c.pen, count, turn))
            << c.what << ", turn " << turn << ", " << count << " metres";
      }
    }
  }
  // Pens from a line of any length, at any angle.
  std::mt19937_64 random(11711);
  std::uniform_real_distribution<double> place(-1.5e6, 1.5e6);
  std::uniform_real_distribution<double> step(-1.0, 1.0);
  for (int i = 0; i < 20000; ++i) {
    const double x = place(random);
    const double y = place(random);
    const double scale = std::ldexp(1.0, static_cast<int>(random() % 40) - 20);
    const LinePen pen{x, x + step(random) * scale, y, y + step(random) * scale};
    const auto count = static_cast<std::int64_t>(random() % 200);
    ASSERT_EQ(as_drawn(pen, count, 0.0), one_metre_at_a_time(pen, count, 0.0))
        << std::hexfloat << pen.x0 << " " << pen.x1 << " " << pen.y0 << " "
        << pen.y1 << ", " << count << " metres";
  }
}

}  // namespace
}  // namespace scenc
