#include "tools/plot/label_placement.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace scenc::tools {
namespace {

// The cost of one more row up, against moving a label along its row: about
// a row's height in pixels.
constexpr double kRowCost = 12;

struct Span {
  double left;
  double right;
};

class Rows {
 public:
  Rows(double from, double to, double gap) : from_(from), to_(to), gap_(gap) {}

  int count() const { return static_cast<int>(rows_.size()); }

  // The best left edge for a label of `width` wanting `ideal`, in rows
  // [0, `limit`): the least move plus the row's cost, within `reach`.
  bool find(double ideal, double width, int limit, double reach, int& row,
            double& left) const {
    double best = std::numeric_limits<double>::infinity();
    for (int r = 0; r < std::min(limit, count()); ++r) {
      const double row_cost = kRowCost * r;
      if (row_cost >= best) break;
      for (const double candidate : candidates(r, ideal, width, reach)) {
        const double cost = std::abs(candidate - ideal) + row_cost;
        if (cost < best && fits(r, candidate, width)) {
          best = cost;
          row = r;
          left = candidate;
        }
      }
    }
    return best < std::numeric_limits<double>::infinity();
  }

  int add_row() {
    rows_.emplace_back();
    return count() - 1;
  }

  void take(int row, double left, double width) {
    auto& spans = rows_[static_cast<std::size_t>(row)];
    const Span s{left, left + width};
    spans.insert(std::upper_bound(spans.begin(), spans.end(), s,
                                  [](const Span& a, const Span& b) {
                                    return a.left < b.left;
                                  }),
                 s);
  }

  double clamp(double left, double width) const {
    return std::max(from_, std::min(left, to_ - width));
  }

 private:
  // Where a label may go near `ideal` in row `r`: the ideal place, and
  // beside each label already there within reach.
  std::vector<double> candidates(int r, double ideal, double width,
                                 double reach) const {
    std::vector<double> out{ideal};
    for (const Span& s :
         near(r, ideal - reach - width, ideal + reach + width)) {
      for (const double c : {s.right + gap_, s.left - gap_ - width}) {
        const double clamped = clamp(c, width);
        if (std::abs(clamped - ideal) <= reach) out.push_back(clamped);
      }
    }
    return out;
  }

  // The spans of row `r` that may reach into [lo, hi].
  std::vector<Span> near(int r, double lo, double hi) const {
    const auto& spans = rows_[static_cast<std::size_t>(r)];
    // Spans are sorted by their left edges and never overlap, so their right
    // edges are sorted too.
    auto first =
        std::lower_bound(spans.begin(), spans.end(), lo,
                         [](const Span& s, double v) { return s.right < v; });
    std::vector<Span> out;
    for (auto it = first; it != spans.end() && it->left <= hi; ++it) {
      out.push_back(*it);
    }
    return out;
  }

  bool fits(int r, double left, double width) const {
    if (left < from_ - 1e-9 || left + width > to_ + 1e-9) return false;
    for (const Span& s : near(r, left - gap_, left + width + gap_)) {
      if (left < s.right + gap_ && s.left < left + width + gap_) return false;
    }
    return true;
  }

  double from_;
  double to_;
  double gap_;
  std::vector<std::vector<Span>> rows_;
};

}  // namespace

std::vector<LabelSpot> place_labels(const std::vector<LabelWish>& wishes,
                                    double from, double to, int optional_rows,
                                    double gap) {
  std::vector<LabelSpot> spots(wishes.size());
  std::vector<std::size_t> order(wishes.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) {
                     return wishes[a].anchor < wishes[b].anchor;
                   });
  Rows rows(from, to, gap);
  for (const bool required : {true, false}) {
    for (const std::size_t i : order) {
      const LabelWish& w = wishes[i];
      if (w.required != required) continue;
      // A label wider than the lane still starts at its left end.
      const double ideal = rows.clamp(w.anchor - w.width / 2, w.width);
      const double reach = w.reach >= 0 ? w.reach : 1.5 * w.width + 10;
      const int limit =
          required ? rows.count() : std::max(optional_rows, rows.count());
      int row = 0;
      double left = ideal;
      const bool found = rows.find(ideal, w.width, limit, reach, row, left);
      // A new row costs as much as any row that far up.
      const bool may_add = required || rows.count() < limit;
      if (may_add && (!found || std::abs(left - ideal) + kRowCost * row >
                                    kRowCost * rows.count())) {
        row = rows.add_row();
        left = ideal;
      } else if (!found) {
        continue;
      }
      rows.take(row, left, w.width);
      spots[i] = LabelSpot{true, left, row};
    }
  }
  return spots;
}

int rows_used(const std::vector<LabelSpot>& spots) {
  int rows = 0;
  for (const LabelSpot& s : spots) {
    if (s.placed) rows = std::max(rows, s.row + 1);
  }
  return rows;
}

bool needs_leader(const LabelWish& wish, const LabelSpot& spot) {
  return spot.placed &&
         (spot.row > 0 ||
          std::abs(spot.left + wish.width / 2 - wish.anchor) > wish.width / 2);
}

std::optional<TextBox> ClearSpots::take_first(
    const std::vector<TextBox>& candidates) {
  for (const TextBox& b : candidates) {
    if (b.x0 < frame_.x0 || b.x1 > frame_.x1 || b.y0 < frame_.y0 ||
        b.y1 > frame_.y1) {
      continue;
    }
    const auto meets = [&](const TextBox& t) { return b.meets(t, gap_); };
    const auto covers = [&](const TextBox& t) { return b.meets(t); };
    if (std::any_of(taken_.begin(), taken_.end(), meets) ||
        std::any_of(ink_.begin(), ink_.end(), covers)) {
      continue;
    }
    taken_.push_back(b);
    return b;
  }
  return std::nullopt;
}

}  // namespace scenc::tools
