#include "tools/decompile/plan.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <optional>
#include <string>

#include "model/curve_classes.h"

namespace scenc::tools {
namespace {

using Tag = LineProfile::Tag;
using Severity = DecompileNote::Severity;

// The turns a metre may take: none, then each class to the right and to the
// left, as signed classes 0, 1..6, -1..-6.
constexpr int kClasses = 6;

double turn_of(int signed_class) {
  if (signed_class == 0) return 0.0;
  const double turn = curve_class_turn(std::abs(signed_class));
  return signed_class < 0 ? -turn : turn;
}

// The two points a metre is drawn from, and the one it holds.
struct Metres {
  const double* x;
  const double* y;
};

bool same(double a, double b) {
  // The very same doubles, bit for bit: the file is compared byte for byte.
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool draws(const Metres& p, std::int64_t m, int signed_class) {
  const auto i = static_cast<std::size_t>(m);
  LinePen pen{p.x[i - 2], p.x[i - 1], p.y[i - 2], p.y[i - 1]};
  double x = 0.0;
  double y = 0.0;
  pen.draw(1, turn_of(signed_class), [&](double px, double py) {
    x = px;
    y = py;
  });
  return same(x, p.x[i]) && same(y, p.y[i]);
}

// How many metres from m on, up to `most`, the pen draws with the same turn
// exactly as the file holds them. The pen goes on from the points it drew,
// which are the file's as long as they agree, a few hundred metres at a
// time: a straight is drawn in blocks.
std::int64_t drawn_alike(const Metres& p, std::int64_t m, std::int64_t most,
                         int signed_class) {
  constexpr std::int64_t kStretch = 256;
  const auto i = static_cast<std::size_t>(m);
  LinePen pen{p.x[i - 2], p.x[i - 1], p.y[i - 2], p.y[i - 1]};
  const double turn = turn_of(signed_class);
  std::size_t at = i;
  bool differs = false;
  while (!differs && static_cast<std::int64_t>(at - i) < most) {
    const std::int64_t n =
        std::min(kStretch, most - static_cast<std::int64_t>(at - i));
    pen.draw(n, turn, [&](double x, double y) {
      if (differs || !same(x, p.x[at]) || !same(y, p.y[at])) {
        differs = true;
        return;
      }
      ++at;
    });
  }
  return static_cast<std::int64_t>(at - i);
}

// The signed class that draws metre m, trying the one before it first;
// nothing when none does.
std::optional<int> class_drawing(const Metres& p, std::int64_t m, int before) {
  if (draws(p, m, before)) return before;
  for (int c = -kClasses; c <= kClasses; ++c) {
    if (c != before && draws(p, m, c)) return c;
  }
  return std::nullopt;
}

// Metres 0 and 1 are whole numbers, (0, 0) and (0, 1), in every plan.
bool seeds_hold(const LineProfile& p) {
  const auto is = [&](int coordinate, std::int64_t m, double v) {
    return p.tag(coordinate, m) == Tag::kInt16 &&
           p.values_of(coordinate)[m] == v;
  };
  return is(0, 0, 0.0) && is(1, 0, 0.0) && is(0, 1, 0.0) && is(1, 1, 1.0);
}

// The last metre drawn: every metre from 2 up to it holds two doubles,
// every one after it is empty. Notes a plan that is not so.
std::int64_t last_drawn(Recovery& r, bool& gapless) {
  const LineProfile& p = r.set.profile;
  const std::uint8_t* x = p.tags_of(0);
  const std::uint8_t* y = p.tags_of(1);
  constexpr auto kDrawn = static_cast<std::uint8_t>(Tag::kDouble);
  std::int64_t last = 1;
  while (last + 1 < p.metre_count() && x[last + 1] == kDrawn &&
         y[last + 1] == kDrawn) {
    ++last;
  }
  gapless = false;
  for (std::int64_t m = last + 1; m < p.metre_count(); ++m) {
    for (int c = 0; c < 2; ++c) {
      if (p.tag(c, m) != Tag::kEmpty) {
        r.on_metre(Severity::kWarning, m, c,
                   "holds a value after metre " + std::to_string(last + 1) +
                       ", which is empty: a plan is drawn without gaps");
        return last;
      }
    }
  }
  const std::int64_t fill_end = r.set.line_length + kRunOut - 2;
  if (last < fill_end) {
    r.on_metre(Severity::kWarning, last + 1, 0,
               "is empty, where every plan is drawn up to metre " +
                   std::to_string(fill_end));
  }
  gapless = true;
  return last;
}

}  // namespace

std::vector<CurveRow> curve_rows(Recovery& r) {
  const LineProfile& p = r.set.profile;
  std::vector<CurveRow> rows;
  if (!seeds_hold(p)) {
    r.on_metre(Severity::kWarning, 0, 0,
               "the plan does not begin at (0, 0) and (0, 1), where every "
               "line source begins it");
    return rows;
  }
  bool gapless = false;
  const std::int64_t last = last_drawn(r, gapless);
  const Metres metres{p.values_of(0), p.values_of(1)};
  std::vector<LineProfile::Run>& runs = r.plan.runs;

  // Each run of metres that turn alike becomes one row: a curve turns the
  // metres after its start, up to its start plus its length.
  const std::int64_t fill_end = r.set.line_length + kRunOut - 2;
  std::int64_t cursor = 2;  // the next metre the rows have not drawn
  int turn = 0;
  std::int64_t run_start = 2;
  const auto close_run = [&](std::int64_t run_end) {
    if (run_end >= run_start) runs.push_back({run_end, turn_of(turn)});
    if (turn == 0) {
      if (run_end > fill_end) {
        r.on_metre(Severity::kWarning, fill_end + 1, 0,
                   "runs straight beyond metre " + std::to_string(fill_end) +
                       ", where only a curve draws");
      }
      return;
    }
    std::int64_t start = run_start - 1;
    if (cursor < run_start && start > r.last_position()) {
      r.on_metre(Severity::kWarning, run_start, 0,
                 "a curve turns here after a straight that no row can draw: "
                 "a curve starts at " +
                     std::to_string(r.last_position()) + " m at the latest");
    }
    // Behind the cursor, a curve turns from the cursor on: its start may
    // stand anywhere up to the last position a row may take.
    if (cursor == run_start) start = std::min(start, r.last_position());
    if (run_end >= kLongestLine) {
      r.on_metre(Severity::kWarning, run_end, 0,
                 "a curve turns up to this metre, beyond metre " +
                     std::to_string(kLongestLine - 1) +
                     ", where every curve must end");
    }
    rows.push_back({std::abs(turn), turn < 0, start, run_end - start});
    cursor = run_end + 1;
  };
  for (std::int64_t m = 2; m <= last;) {
    m += drawn_alike(metres, m, last - m + 1, turn);
    if (m > last) break;
    // The turn changes at metre m.
    const std::optional<int> c = class_drawing(metres, m, turn);
    if (!c) {
      r.on_metre(Severity::kWarning, m, 0,
                 "no curve class draws this point from the two metres before "
                 "it; the plan is read no further");
      close_run(m - 1);
      return rows;
    }
    close_run(m - 1);
    turn = *c;
    run_start = m;
  }
  close_run(last);
  r.plan.complete = gapless;
  return rows;
}

}  // namespace scenc::tools
