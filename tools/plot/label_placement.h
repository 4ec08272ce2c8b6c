// Placing the labels of a lane so that no two overlap: each label wants to
// stand centred over its symbol; labels that meet are moved a little along
// the lane or into another row, and the plot draws a leader line from the
// symbol to a label that moved.
#pragma once

#include <optional>
#include <vector>

namespace scenc::tools {

struct LabelWish {
  double anchor = 0;  // the x of the symbol the label names
  double width = 0;
  // A required label gets a place whatever rows that takes; another one only
  // where there is room in the rows the lane allows it.
  bool required = true;
  // How far the label may move along the lane; negative: as far as one and
  // a half of its widths.
  double reach = -1;
};

struct LabelSpot {
  bool placed = false;
  double left = 0;  // x of the label's left edge
  int row = 0;      // 0 is the row next to the symbols
};

// Places `wishes` between `from` and `to`, keeping `gap` between labels of
// one row. Required labels go first, then the others in at most
// max(`optional_rows`, rows already used) rows. Returns one spot per wish,
// in the order given.
std::vector<LabelSpot> place_labels(const std::vector<LabelWish>& wishes,
                                    double from, double to, int optional_rows,
                                    double gap = 4);

// The number of rows the placed labels take (0 when none is placed).
int rows_used(const std::vector<LabelSpot>& spots);

// True when a placed label does not stand centred in the first row over its
// symbol, so that a leader line must show where it belongs.
bool needs_leader(const LabelWish& wish, const LabelSpot& spot);

// A box a text or a drawing takes on the page.
struct TextBox {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool meets(const TextBox& o, double gap = 0) const {
    return x0 < o.x1 + gap && o.x0 < x1 + gap && y0 < o.y1 && o.y0 < y1;
  }
};

// Labels that may stand on any side of what they name, placed in two
// dimensions: each takes the first of its candidate boxes that lies inside
// the frame and clear of the labels taken before (by `gap` along a row)
// and of the ink marked (lines and symbols a label must not cover).
class ClearSpots {
 public:
  explicit ClearSpots(TextBox frame, double gap = 4)
      : frame_(frame), gap_(gap) {}
  void ink(const TextBox& box) { ink_.push_back(box); }
  // The box taken, or none when every candidate meets something.
  std::optional<TextBox> take_first(const std::vector<TextBox>& candidates);

 private:
  TextBox frame_;
  double gap_;
  std::vector<TextBox> taken_;
  std::vector<TextBox> ink_;
};

}  // namespace scenc::tools
