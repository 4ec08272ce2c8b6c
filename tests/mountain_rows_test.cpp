// Mountain rows are applied to the grid together, not row by row. These
// sources crowd mountains, boards and signboards onto short lines, with
// faults that end the compile or skip the rest of the source halfway, and
// compare the cells and the fault with a plain row-by-row compile of the same
// rows written out here.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "compile_fixture.h"

namespace scenc {
namespace {

using testing::compile;
using testing::line_source;
using testing::lines;
using testing::train_source;

// The grid as the rows leave it, written the straightforward way: every row
// in its turn, every cell of a mountain visited.
struct PlainGrid {
  std::vector<std::uint8_t> kind;
  std::vector<std::uint8_t> mountain;
  std::int64_t n = 0;
  std::int32_t error_code = 0;
  std::int32_t error_position = 0;
  bool stopped = false;
  std::int64_t mountains = 0;
  std::int64_t previous_end = 0;

  explicit PlainGrid(std::int32_t length) : n(last_cell_for_length(length)) {
    kind.assign(static_cast<std::size_t>(n + 1), 0);
    mountain.assign(static_cast<std::size_t>(n + 1), 0);
  }
  bool in_range(std::int64_t p) const { return p + 100 <= 50 * n; }
  void fault(std::int32_t code, std::int32_t position) {
    error_code = code;
    error_position = position;
    stopped = true;
  }
  std::uint8_t& kind_at(std::int64_t c) {
    return kind[static_cast<std::size_t>(c)];
  }

  void mountain_row(std::int32_t inizio, std::int32_t fine, std::int32_t tipo) {
    if (!in_range(inizio)) return fault(15, inizio);
    const bool markers = tipo > 10;
    if (markers) tipo -= 10;
    if (++mountains > 1 && inizio - previous_end <= 150) tipo = 3;
    previous_end = fine;
    const std::int64_t first = round_div_even(inizio, 50);
    const std::int64_t last = round_div_even(std::int64_t{fine} - 50, 50);
    for (std::int64_t c = first, j = 1; c <= last; ++c, ++j) {
      if (c < 0 || c > n) continue;
      mountain[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(tipo);
      if (markers && j % 4 == 0 && kind_at(c) == 0) kind_at(c) = 11;
    }
  }
  // A board whose speeds do not fit 16 bits takes its cell and then fails
  // the compile.
  void board_row(std::int32_t p, bool too_fast) {
    if (!in_range(p) || cell_index(p) < 0) return fault(15, p);
    std::uint8_t& k = kind_at(cell_index(p));
    if (k != 0 && k != 11) return fault(21, p);
    k = 6;
    if (too_fast) {
      error_code = 25;
      stopped = true;
    }
  }
  void signboard_row(std::int32_t p) {
    if (!in_range(p) || cell_index(p) < 0) return fault(15, p);
    std::uint8_t& k = kind_at(cell_index(p));
    if (k != 0 && k != 11) return fault(6, p);
    k = 14;
  }
};

TEST(MountainRows, GiveTheCellsOfARowByRowCompile) {
  std::mt19937 random(20261210);
  const auto pick = [&random](std::int64_t lo, std::int64_t hi) {
    return static_cast<std::int32_t>(
        std::uniform_int_distribution<std::int64_t>(lo, hi)(random));
  };
  const std::string train = train_source(lines({"numero vetture, 6"}));
  for (int source = 0; source < 400; ++source) {
    const std::int32_t length = pick(0, 6) == 0 ? 0 : pick(0, 20000);
    // Now and then more mountain rows than cells, so that the rows are
    // applied in several goes.
    const int rows = pick(0, 9) == 0 ? pick(150, 900) : pick(0, 60);
    PlainGrid plain(length);
    const std::int32_t end = length + 7000;
    std::string body;
    for (int r = 0; r < rows; ++r) {
      // Positions mostly on the grid, some beyond it or before it, on the
      // halves of every rounding.
      const auto position = [&] {
        if (pick(0, 150) == 0) return end + pick(0, 3000);
        return pick(0, 3) == 0 ? pick(-400, end) / 25 * 25 : pick(-400, end);
      };
      const int what = pick(0, 9);
      if (what < 6) {
        const std::int32_t inizio = position();
        const std::int32_t fine = inizio + pick(-200, pick(0, 1) ? 600 : end);
        const std::int32_t tipo =
            pick(0, 12) == 0 ? pick(-5, 300) : pick(0, 25);
        body += "montagna, " + std::to_string(inizio) + ", " +
                std::to_string(fine) + ", " + std::to_string(tipo) + "\r\n";
        if (!plain.stopped) plain.mountain_row(inizio, fine, tipo);
      } else if (what < 8) {
        const std::int32_t p = position();
        const bool too_fast = pick(0, 40) == 0;
        body += "indicatori_vmax, " + std::to_string(p) +
                (too_fast ? ", 9000" : ", 100") + ", 90, 80, 0, 0, 0, 0, 0\r\n";
        if (!plain.stopped) plain.board_row(p, too_fast);
      } else {
        const std::int32_t p = position();
        body += "cartello indicatore, " + std::to_string(p) + ", \"km\"\r\n";
        if (!plain.stopped) plain.signboard_row(p);
      }
    }
    const auto c = compile(line_source(body, length), train, source % 5 != 0);
    SCOPED_TRACE("source " + std::to_string(source) + ":\n" + body);
    ASSERT_EQ(c.model.error_code, plain.error_code);
    if (plain.error_code != 0 && plain.error_code != 25) {
      ASSERT_EQ(c.model.error_position, plain.error_position);
    }
    ASSERT_EQ(c.model.last_cell(), plain.n);
    for (std::int64_t i = 0; i <= plain.n; ++i) {
      const TrackCell& cell = c.model.track_cells[static_cast<std::size_t>(i)];
      ASSERT_EQ(cell.kind, plain.kind[static_cast<std::size_t>(i)])
          << "cell " << i;
      ASSERT_EQ(cell.mountain, plain.mountain[static_cast<std::size_t>(i)])
          << "cell " << i;
    }
  }
}

}  // namespace
}  // namespace scenc
