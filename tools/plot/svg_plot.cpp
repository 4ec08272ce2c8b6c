#include "tools/plot/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "model/cp1252.h"
#include "tools/decode/describe.h"
#include "tools/plot/label_placement.h"
#include "tools/plot/symbols.h"
#include "tools/plot/svg_layout.h"
#include "tools/plot/svg_top_row.h"
#include "tools/plot/svg_writer.h"

namespace scenc::tools {
namespace {

using namespace svg_layout;

// Labels along the line: font size and the pitch of their rows, which
// keeps a row's ascent clear of the descent of the row above.
namespace labels {
constexpr double kStationSize = 11;
constexpr double kStationPitch = 13;
constexpr double kLaneSize = 9;
constexpr double kLanePitch = 11;
constexpr int kOptionalRows = 2;  // for labels that may be left out
constexpr int kCurveRows = 3;
constexpr double kCurveApart = 3;  // pixels between curves to name them
// Pixels between two labels of a row: closer, a row of numbers reads as
// one run of text.
constexpr double kGap = 8;
constexpr std::size_t kMostListedDiagnostics = 40;
}  // namespace labels

// A white edge around a label, so that it stays readable where it crosses a
// leader line or a bar.
constexpr const char* kHalo =
    "paint-order=\"stroke\" stroke=\"white\" stroke-width=\"3\" "
    "stroke-linejoin=\"round\"";

std::string font_attributes(double size, const char* colour,
                            const std::string& extra = {}) {
  return "font-size=\"" + std::to_string(static_cast<int>(size)) +
         "\" fill=\"" + colour + "\"" + (extra.empty() ? "" : " " + extra);
}

// A run of consecutive cells that share one value.
struct Run {
  std::int64_t first = 0;
  std::int64_t last = 0;
  int value = 0;
};
std::vector<Run> runs_of(const std::vector<TrackCell>& cells,
                         std::int64_t until,
                         const std::function<int(const TrackCell&)>& value) {
  std::vector<Run> runs;
  for (std::int64_t i = 0;
       i <
       std::min<std::int64_t>(until, static_cast<std::int64_t>(cells.size()));
       ++i) {
    const int v = value(cells[static_cast<std::size_t>(i)]);
    if (!runs.empty() && runs.back().value == v && runs.back().last == i - 1) {
      runs.back().last = i;
    } else {
      runs.push_back(Run{i, i, v});
    }
  }
  return runs;
}

// The labels of one lane: gathered first, placed in rows above the lane's
// symbols, then drawn with a leader line to each label that had to move.
class LaneLabels {
 public:
  LaneLabels(double font_size, double pitch)
      : size_(font_size), pitch_(pitch) {}

  // `reach`: how far the label may move along the lane (negative: the
  // placement's own reach).
  void add(double x, std::string text, const char* colour, bool required,
           double reach = -1) {
    if (text.empty()) return;
    wishes_.push_back(LabelWish{x, text_width(text, size_), required, reach});
    texts_.push_back(std::move(text));
    colours_.push_back(colour);
  }

  void place(double from, double to, int optional_rows) {
    spots_ = place_labels(wishes_, from, to, optional_rows, labels::kGap);
    rows_ = rows_used(spots_);
  }

  int rows() const { return rows_; }
  double height() const { return rows_ * pitch_; }

  // Draws the labels in the band [top, top + height()). With `leaders`, a
  // line runs from each label that moved down to `symbol_top`.
  void draw(SvgWriter& svg, double top, double symbol_top,
            bool leaders = true) const {
    for (std::size_t i = 0; i < wishes_.size(); ++i) {
      const LabelSpot& s = spots_[i];
      if (!s.placed || !leaders || !needs_leader(wishes_[i], s)) continue;
      const double end_x =
          std::clamp(wishes_[i].anchor, s.left, s.left + wishes_[i].width);
      svg.line(wishes_[i].anchor, symbol_top, end_x,
               baseline(top, s.row) + kTextDescent * size_,
               stroke(ink::kLeader, 0.8));
    }
    for (std::size_t i = 0; i < wishes_.size(); ++i) {
      const LabelSpot& s = spots_[i];
      if (!s.placed) continue;
      svg.text(s.left, baseline(top, s.row), texts_[i],
               font_attributes(size_, colours_[i], kHalo));
    }
  }

 private:
  // Row 0 is the lowest, next to the symbols.
  double baseline(double top, int row) const {
    return top + (rows_ - row) * pitch_ - kTextDescent * size_ - 0.5;
  }

  double size_;
  double pitch_;
  std::vector<LabelWish> wishes_;
  std::vector<std::string> texts_;
  std::vector<const char*> colours_;
  std::vector<LabelSpot> spots_;
  int rows_ = 0;
};

// The lanes of objects on single cells, from the top down: those the cell
// kinds stand in, then the diagnostics'.
constexpr int lane_index(CellLane lane) {
  return static_cast<int>(lane) - static_cast<int>(CellLane::kSignals);
}
constexpr int kDiagnosticsLane = lane_index(CellLane::kMarks) + 1;

class PlotBuilder {
 public:
  explicit PlotBuilder(const PlotScene& scene)
      : scene_(scene), s_(*scene.scenario) {}

  std::string build() {
    if (scene_.diagnostics) {
      std::vector<const PlotDiagnostic*> listed;
      for (const PlotDiagnostic& d : *scene_.diagnostics) {
        if (!d.position) listed.push_back(&d);
      }
      width_ = std::max(width_, page::kLeft + 26 + widest_listed(listed) + 50);
    }
    SvgWriter head;
    head.text(page::kLeft, page::kTitleBaseline, scene_.title(),
              "font-size=\"20\" font-weight=\"bold\"");
    SvgWriter body;
    double y = page::kTopRow + draw_stop_banner(head);
    const double top_height = draw_top_row(body, scene_, y, width_);
    y += top_height + page::kGapAfterTopRow;
    y = draw_station_strip(body, y);
    y = draw_gradient_panel(body, y + page::kGapBeforePanel);
    y = draw_height_panel(body, y + page::kGapBeforePanel);
    y = draw_curve_panel(body, y + page::kGapBeforePanel);
    y = draw_speed_panel(body, y + page::kGapBeforePanel);
    y = draw_object_lanes(body, y + page::kGapBeforePanel);
    y = draw_km_axis(body, y);
    y = draw_unplaced_diagnostics(body, y);
    const double height = y + page::kBottomMargin;
    return SvgWriter::document(width_, height, kFont, kFontSize, scene_.title(),
                               {&head, &guides_, &body, &greyed_});
  }

 private:
  // The x of a place along the line, kept inside the panels.
  double px(double metres) const {
    return page::kLeft + std::clamp(metres, 0.0, scene_.domain_end) /
                             scene_.domain_end *
                             (width_ - page::kLeft - page::kRight);
  }
  double right_edge() const { return width_ - page::kRight; }

  // Where a compile stopped, said under the title in as many lines as the
  // page's width needs; returns the height it takes.
  double draw_stop_banner(SvgWriter& svg) {
    double y = page::kTitleBaseline + page::kBannerLine + 4;
    const auto style =
        std::string("font-size=\"12\" font-weight=\"bold\" fill=\"") +
        colour::kError + "\"";
    for (const CompileStop& stop : scene_.stops) {
      for (const std::string& line : wrapped(
               stop.text(), 12, true, width_ - page::kLeft - page::kRight)) {
        svg.text(page::kLeft, y, line, style);
        y += page::kBannerLine;
      }
    }
    return y - (page::kTitleBaseline + page::kBannerLine + 4);
  }

  // --- profile along the line -------------------------------------------

  // A panel frame with its title; faint station guides run through it.
  void frame(SvgWriter& svg, double top, double height,
             const std::string& name) {
    svg.rect(page::kLeft, top, width_ - page::kLeft - page::kRight, height,
             stroke(ink::kFrame, 1));
    svg.text(page::kLeft, top - 6, name,
             "font-size=\"13\" font-weight=\"bold\"");
    for (double g = 0; g <= scene_.domain_end + 1e-6; g += km_step()) {
      svg.line(px(g), top, px(g), top + height, stroke(colour::kGrid, 1));
    }
    for (const PlotStation& st : scene_.stations) {
      const double x = px(static_cast<double>(st.position));
      guides_.line(x, top, x, top + height,
                   std::string("stroke=\"") + ink::kGuide +
                       "\" stroke-width=\"1\" stroke-dasharray=\"2 3\"");
    }
    // Past where the compile stopped the panel is greyed: what the rows
    // after the stop would have placed is not there.
    if (scene_.whole_until) {
      const double x = px(*scene_.whole_until);
      greyed_.rect(x, top, right_edge() - x, height,
                   fill(colour::kGreyed,
                        "fill-opacity=\"0.35\" "
                        "pointer-events=\"none\""));
    }
    // A diagnostic's place runs through every panel, so that what stands
    // there can be seen beside it.
    if (!scene_.diagnostics) return;
    for (const PlotDiagnostic& d : *scene_.diagnostics) {
      if (!d.position) continue;
      const double x = px(static_cast<double>(*d.position));
      guides_.line(x, top, x, top + height,
                   stroke(severity_colour(d.severity), 1.2,
                          "stroke-dasharray=\"4 3\" stroke-opacity=\"0.7\""));
    }
  }

  double km_step() const { return nice_step(scene_.domain_end, 16); }

  // The name of a lane or axis, right-aligned left of the panels.
  void lane_name(SvgWriter& svg, double y, const std::string& name) {
    svg.text(page::kLeft - 8, y, name,
             std::string("text-anchor=\"end\" font-size=\"11\" fill=\"") +
                 ink::kNote + "\"");
  }

  // Every station named above its place, in as many rows as close
  // stations need.
  double draw_station_strip(SvgWriter& svg, double top) {
    LaneLabels names(labels::kStationSize, labels::kStationPitch);
    for (const PlotStation& st : scene_.stations) {
      names.add(px(static_cast<double>(st.position)), st.name, colour::kStation,
                true);
    }
    names.place(page::kLeft, width_, 0);
    const double lane = top + names.height() + 12;
    lane_name(svg, lane + 4, "stations");
    svg.line(page::kLeft, lane, right_edge(), lane, stroke(ink::kGuide, 1));
    names.draw(svg, top, lane - 6);
    for (const PlotStation& st : scene_.stations) {
      const double from = px(static_cast<double>(st.from));
      const double to = px(static_cast<double>(st.to));
      const double x = px(static_cast<double>(st.position));
      svg.begin_group(
          "station at km " + km_text(static_cast<double>(st.position), 2) +
          ": " +
          details_text(describe_slot(
              st.slot, s_.slots[static_cast<std::size_t>(st.slot)])));
      svg.rect(from, lane + 7, std::max(to - from, 2.0), 3,
               fill(colour::kStationExtent));
      station_symbol(svg, x, lane, st.marked);
      svg.end_group();
    }
    return lane + 16;
  }

  double draw_gradient_panel(SvgWriter& svg, double top) {
    const double height = page::kGradientHeight;
    frame(svg, top, height, "Gradient (\u2030) and mountains");
    const std::int64_t until =
        static_cast<std::int64_t>(scene_.domain_end / kCellLength) + 1;
    int steepest = 5;
    for (const Run& r : runs_of(s_.cells, until, [](const TrackCell& c) {
           return gradient_per_mille(c);
         })) {
      if (r.value != -100) steepest = std::max(steepest, std::abs(r.value));
    }
    const double g_step = nice_step(steepest, 2);
    const double g_max = std::ceil(steepest / g_step) * g_step;
    const auto gy = [&](double g) {
      return top + height / 2 - g / g_max * (height / 2 - 8);
    };

    // Mountains behind the gradient; gradients and mountains count a cell
    // from 50 x i metres. A type is written in its band where it fits.
    LaneLabels types(labels::kLaneSize, labels::kLanePitch);
    for (const Run& r : runs_of(
             s_.cells, until, [](const TrackCell& c) { return c.mountain; })) {
      if (r.value == 0) continue;
      const double x0 = px(static_cast<double>(r.first) * kCellLength);
      const double x1 = px(static_cast<double>(r.last + 1) * kCellLength);
      svg.begin_group(
          "mountain type " + std::to_string(r.value) + " from km " +
          km_text(static_cast<double>(r.first) * kCellLength, 2) + " to km " +
          km_text(static_cast<double>(r.last + 1) * kCellLength, 2));
      svg.rect(x0, top, std::max(x1 - x0, 2.0), height,
               fill(colour::kMountain, "fill-opacity=\"0.6\""));
      svg.end_group();
      const std::string label = "type " + std::to_string(r.value);
      types.add(x0 + 2 + text_width(label, labels::kLaneSize) / 2, label,
                ink::kMountainText, false, 0);
    }
    types.place(page::kLeft + 1, right_edge() - 1, 1);
    for (const Run& r : runs_of(s_.cells, until, [](const TrackCell& c) {
           return gradient_per_mille(c);
         })) {
      // A byte of 0 (cells past the fills) means no gradient was written.
      if (r.value == 0 || r.value == -100) continue;
      const double x0 = px(static_cast<double>(r.first) * kCellLength);
      const double x1 = px(static_cast<double>(r.last + 1) * kCellLength);
      const double y0 = gy(0), y1 = gy(r.value);
      svg.rect(x0, std::min(y0, y1), std::max(x1 - x0, 1.0), std::abs(y1 - y0),
               fill(r.value > 0 ? colour::kUphill : colour::kDownhill));
    }
    // The markers of the kinds the profile shows, along its foot.
    for (std::size_t i = 0; i < s_.cells.size(); ++i) {
      const CellKindInfo* info = cell_kind_info(s_.cells[i].kind);
      const KindSymbol* symbol = kind_symbol(s_.cells[i].kind);
      if (info == nullptr || info->lane != CellLane::kProfile || !symbol) {
        continue;
      }
      symbol->draw(
          svg,
          px(static_cast<double>(cell_position(static_cast<std::int64_t>(i)))),
          top + height - 6);
    }
    types.draw(svg, top + 2, top, false);
    svg.line(page::kLeft, gy(0), right_edge(), gy(0), stroke(ink::kAxis, 1));
    for (double g = -g_max; g <= g_max + 1e-6; g += g_step) {
      svg.text(page::kLeft - 6, gy(g) + 4, std::to_string(static_cast<int>(g)),
               "text-anchor=\"end\" font-size=\"11\"");
    }
    axis_title(svg, top, height, "\u2030");
    return top + height;
  }

  // The heights the gradients build along the line, from 0 m at its start.
  double draw_height_panel(SvgWriter& svg, double top) {
    const double height = page::kHeightsHeight;
    frame(svg, top, height, "Heights from the gradients (m, from the start)");
    if (scene_.heights.empty()) {
      svg.text(page::kLeft + 8, top + 19, "No cell carries a gradient.",
               std::string("font-size=\"11\" fill=\"") + ink::kNote + "\"");
      return top + height;
    }
    double low = 0, high = 0;
    for (const HeightPoint& p : scene_.heights) {
      low = std::min(low, p.height);
      high = std::max(high, p.height);
    }
    const double h_step = nice_step(std::max(high - low, 1.0), 3);
    low = std::floor(low / h_step) * h_step;
    high = std::max(std::ceil(high / h_step) * h_step, low + h_step);
    const auto hy = [&](double h) {
      return top + height - 6 - (h - low) / (high - low) * (height - 12);
    };
    for (double g = low; g <= high + 1e-6; g += h_step) {
      svg.line(page::kLeft, hy(g), right_edge(), hy(g),
               stroke(colour::kGrid, 1));
      svg.text(page::kLeft - 6, hy(g) + 4, std::to_string(std::lround(g)),
               "text-anchor=\"end\" font-size=\"11\"");
    }
    std::string line;
    for (const HeightPoint& p : scene_.heights) {
      line +=
          (line.empty() ? "M" : " L") + n(px(p.metre)) + " " + n(hy(p.height));
    }
    // The same line closed along the panel's foot, filled under it.
    const std::string area =
        line + " L" + n(px(scene_.heights.back().metre)) + " " + n(hy(low)) +
        " L" + n(px(scene_.heights.front().metre)) + " " + n(hy(low)) + " Z";
    svg.path(area, fill(colour::kHeights, "fill-opacity=\"0.25\""));
    svg.path(line, stroke(colour::kHeights, 1.5, "stroke-linejoin=\"round\""));
    axis_title(svg, top, height, "m");
    return top + height;
  }

  // The curvature of the plan: right-hand curves above the zero line,
  // left-hand ones below, each class a step further out.
  double draw_curve_panel(SvgWriter& svg, double top) {
    const char* title = "Curves, from the plan (d right, s left; class 1 to 6)";
    if (!scene_.curves) {
      frame(svg, top, page::kLaneHeight, title);
      svg.text(page::kLeft + 8, top + 19,
               "No line geometry file: the curves are not known.",
               std::string("font-size=\"11\" fill=\"") + ink::kNote + "\"");
      return top + page::kLaneHeight;
    }
    const std::vector<CurveRun>& runs = *scene_.curves;
    // A curve is named where the name can only mean it: where it is wide
    // enough on the page, or stands apart from the curves beside it.
    std::vector<const CurveRun*> curved;
    for (const CurveRun& r : runs) {
      if (r.curve_class != 0 &&
          static_cast<double>(r.first_metre) <= scene_.domain_end) {
        curved.push_back(&r);
      }
    }
    LaneLabels names(labels::kLaneSize, labels::kLanePitch);
    const auto x_from = [&](const CurveRun* r) {
      return px(static_cast<double>(r->first_metre));
    };
    const auto x_to = [&](const CurveRun* r) {
      return px(static_cast<double>(r->last_metre + 1));
    };
    for (std::size_t i = 0; i < curved.size(); ++i) {
      const CurveRun* r = curved[i];
      const bool apart =
          (i == 0 || x_from(r) - x_to(curved[i - 1]) >= labels::kCurveApart) &&
          (i + 1 == curved.size() ||
           x_from(curved[i + 1]) - x_to(r) >= labels::kCurveApart);
      if (x_to(r) - x_from(r) < labels::kCurveApart && !apart) continue;
      names.add((x_from(r) + x_to(r)) / 2, curve_label(r->curve_class),
                r->curve_class > 0 ? colour::kCurveRight : colour::kCurveLeft,
                false, (x_to(r) - x_from(r)) / 2);
    }
    names.place(page::kLeft + 1, right_edge() - 1, labels::kCurveRows);
    const double plot_top = top + names.height() + 4;
    const double height = plot_top - top + page::kCurvePlotHeight;
    frame(svg, top, height, title);
    const double zero = plot_top + page::kCurvePlotHeight / 2;
    const double per_class = (page::kCurvePlotHeight / 2 - 4) / 6;
    lane_name(svg, zero - 10, "right");
    lane_name(svg, zero + 18, "left");
    for (int c = -6; c <= 6; c += 3) {
      if (c == 0) continue;
      svg.line(page::kLeft, zero - c * per_class, right_edge(),
               zero - c * per_class, stroke(colour::kGrid, 1));
    }
    for (const CurveRun& r : runs) {
      if (r.curve_class == 0 ||
          static_cast<double>(r.first_metre) > scene_.domain_end) {
        continue;
      }
      const double x0 = px(static_cast<double>(r.first_metre));
      const double x1 = px(static_cast<double>(r.last_metre + 1));
      const double bar = r.curve_class * per_class;
      svg.begin_group(curve_side(r.curve_class) + "-hand curve, class " +
                      std::to_string(std::abs(r.curve_class)) + " (radius " +
                      std::to_string(curve_radius(r.curve_class)) + " m), km " +
                      km_text(static_cast<double>(r.first_metre), 3) + " to " +
                      km_text(static_cast<double>(r.last_metre), 3) + ", " +
                      std::to_string(r.last_metre - r.first_metre + 1) + " m");
      svg.rect(
          x0, std::min(zero, zero - bar), std::max(x1 - x0, 1.0), std::abs(bar),
          fill(r.curve_class > 0 ? colour::kCurveRight : colour::kCurveLeft));
      svg.end_group();
    }
    svg.line(page::kLeft, zero, right_edge(), zero, stroke(ink::kAxis, 1));
    names.draw(svg, top + 2, plot_top, false);
    return top + height;
  }

  void axis_title(SvgWriter& svg, double top, double height,
                  const std::string& unit) {
    const double x = page::kLeft - 48, y = top + height / 2;
    svg.text(x, y, unit,
             std::string("text-anchor=\"middle\" font-size=\"11\" fill=\"") +
                 ink::kNote + "\" transform=\"rotate(-90 " + n(x) + " " + n(y) +
                 ")\"");
  }

  double draw_speed_panel(SvgWriter& svg, double top) {
    const double height = page::kSpeedHeight;
    frame(svg, top, height, "Speed limit (km/h) and slow orders");
    const std::int64_t until =
        static_cast<std::int64_t>(scene_.domain_end / kCellLength) + 1;
    const auto speed_runs = runs_of(
        s_.cells, until, [](const TrackCell& c) { return speed_limit_kmh(c); });
    int fastest = 50;
    for (const Run& r : speed_runs) fastest = std::max(fastest, r.value);
    const double v_step = nice_step(fastest, 4);
    const double v_max = std::ceil(fastest / v_step) * v_step;
    const auto vy = [&](double v) {
      return top + height - v / v_max * (height - 10);
    };
    for (double v = 0; v <= v_max + 1e-6; v += v_step) {
      svg.line(page::kLeft, vy(v), right_edge(), vy(v),
               stroke(colour::kGrid, 1));
      svg.text(page::kLeft - 6, vy(v) + 4, std::to_string(static_cast<int>(v)),
               "text-anchor=\"end\" font-size=\"11\"");
    }
    // Slow orders: from the start cell to its end cell, drawn at least a few
    // pixels wide so that a short one still shows.
    ClearSpots speeds(TextBox{page::kLeft, top, right_edge(), top + height});
    for (const SlowOrderExtent& o : scene_.slow_orders) {
      const double x0 = px(static_cast<double>(cell_position(o.start_cell)));
      const double x1 = px(static_cast<double>(cell_position(o.end_cell)));
      const double w = std::max(x1 - x0, 4.0);
      svg.rect(x0, top, w, height,
               fill(colour::kSlowOrder, "fill-opacity=\"0.35\""));
      svg.line(x0, vy(o.speed), x0 + w, vy(o.speed),
               stroke(colour::kSlowOrder, 3));
      speeds.ink(TextBox{x0, vy(o.speed) - 1.5, x0 + w, vy(o.speed) + 1.5});
    }
    // The line speed limit counts a cell from 50 x i metres, as gradients
    // do; its steps are the ink the slow orders' speeds keep clear of.
    std::string d;
    double last_y = 0;
    for (const Run& r : speed_runs) {
      const double x0 = px(static_cast<double>(r.first) * kCellLength);
      const double x1 = px(static_cast<double>(r.last + 1) * kCellLength);
      const double y = vy(r.value);
      if (!d.empty()) {
        speeds.ink(
            TextBox{x0 - 1, std::min(y, last_y), x0 + 1, std::max(y, last_y)});
      }
      d += (d.empty() ? "M" : " L") + n(x0) + " " + n(y) + " L" + n(x1) + " " +
           n(y);
      speeds.ink(TextBox{x0, y - 1, x1, y + 1});
      last_y = y;
    }
    if (!d.empty())
      svg.path(d, stroke(colour::kSpeed, 2, "stroke-linejoin=\"round\""));
    // Each speed beside its band, just above or below its bar, else higher
    // up the panel; where none is clear the hover still names it.
    const double size = 11;
    for (const SlowOrderExtent& o : scene_.slow_orders) {
      const double x0 = px(static_cast<double>(cell_position(o.start_cell)));
      const double x1 =
          x0 + std::max(px(static_cast<double>(cell_position(o.end_cell))) - x0,
                        4.0);
      const std::string label = speed_label(o.speed);
      const double lw = text_width(label, size, true);
      std::vector<TextBox> spots;
      for (const double base : {vy(o.speed) - 4, vy(o.speed) + 15, top + 14,
                                top + 28, top + height - 4}) {
        for (const double left : {x1 + 3, x0 - 3 - lw}) {
          spots.push_back(TextBox{left, base - kTextAscent * size, left + lw,
                                  base + kTextDescent * size});
        }
      }
      if (const auto b = speeds.take_first(spots)) {
        svg.text(b->x0, b->y1 - kTextDescent * size, label,
                 std::string("font-size=\"11\" font-weight=\"bold\" fill=\"") +
                     colour::kSlowOrder + "\" " + kHalo);
      }
    }
    axis_title(svg, top, height, "km/h");
    return top + height;
  }

  // The diagnostics with a place, gathered by the spot their marks take;
  // each group is led by its most severe.
  struct MarkGroup {
    double x = 0;
    const PlotDiagnostic* first = nullptr;
    int count = 0;
  };
  std::vector<MarkGroup> marks_by_spot(
      const std::vector<PlotDiagnostic>& diagnostics) const {
    std::vector<MarkGroup> groups;
    for (const PlotDiagnostic& d : diagnostics) {
      if (!d.position) continue;
      const double x = px(static_cast<double>(*d.position));
      const auto same = std::find_if(
          groups.begin(), groups.end(),
          [&](const MarkGroup& g) { return std::abs(g.x - x) < 0.5; });
      if (same != groups.end()) {
        ++same->count;
      } else {
        groups.push_back(MarkGroup{x, &d, 1});
      }
    }
    return groups;
  }

  static std::string speed_label(int speed) {
    return std::to_string(speed) + " km/h";
  }

  // A cell's symbol and the lane it stands in; no symbol where it stands
  // in none.
  struct LaneSymbol {
    const KindSymbol* symbol = nullptr;
    int lane = 0;
  };
  static LaneSymbol lane_symbol(std::uint8_t kind) {
    const CellKindInfo* info = cell_kind_info(kind);
    if (info == nullptr || lane_index(info->lane) < 0) return {};
    return {kind_symbol(kind), lane_index(info->lane)};
  }

  // The labels of each object lane, not yet placed: signboards and marks
  // are always named, boards where there is room, and every diagnostic's
  // mark; marks that fall on one spot share a name that counts them.
  std::vector<LaneLabels> object_lane_labels() {
    std::vector<LaneLabels> lane_labels(
        kDiagnosticsLane + 1,
        LaneLabels(labels::kLaneSize, labels::kLanePitch));
    for (std::size_t i = 0; i < s_.cells.size(); ++i) {
      const TrackCell& c = s_.cells[i];
      const double pos =
          static_cast<double>(cell_position(static_cast<std::int64_t>(i)));
      if (pos > scene_.domain_end) continue;
      const auto [symbol, lane] = lane_symbol(c.kind);
      if (symbol == nullptr || symbol->label == LaneLabel::kNone) continue;
      lane_labels[static_cast<std::size_t>(lane)].add(
          px(pos), object_label(c, s_.slots), symbol->label_colour,
          symbol->label == LaneLabel::kAlways);
    }
    if (scene_.diagnostics) {
      for (const MarkGroup& g : marks_by_spot(*scene_.diagnostics)) {
        lane_labels[kDiagnosticsLane].add(
            g.x,
            g.first->check +
                (g.count > 1 ? " +" + std::to_string(g.count - 1) : ""),
            severity_colour(g.first->severity), true);
      }
    }
    return lane_labels;
  }

  // The symbol of each object on the cells, at the height `lane_y` gives
  // its lane; those that name their values when the pointer rests on them.
  template <typename LaneY>
  void draw_cell_symbols(SvgWriter& svg, const LaneY& lane_y) {
    for (std::size_t i = 0; i < s_.cells.size(); ++i) {
      const TrackCell& c = s_.cells[i];
      const auto index = static_cast<std::int64_t>(i);
      const double pos = static_cast<double>(cell_position(index));
      if (pos > scene_.domain_end) continue;
      const auto [symbol, lane] = lane_symbol(c.kind);
      if (symbol == nullptr) continue;
      if (symbol->hovered) {
        svg.begin_group(cell_kind_name(c.kind) + " at km " + km_text(pos, 2) +
                        ": " +
                        details_text(describe_cell(index, c, &s_.slots)));
      }
      symbol->draw(svg, px(pos), lane_y(lane));
      if (symbol->hovered) svg.end_group();
    }
  }

  // The lanes of objects on single cells, each as tall as its labels need.
  double draw_object_lanes(SvgWriter& svg, double top) {
    const char* names[] = {"signals",     "speed boards", "signboards",
                           "slow orders", "abbattimento", "diagnostics"};
    static_assert(std::size(names) == std::size_t{kDiagnosticsLane} + 1);
    const int lanes =
        scene_.diagnostics ? kDiagnosticsLane + 1 : kDiagnosticsLane;
    std::vector<LaneLabels> lane_labels = object_lane_labels();
    std::vector<double> lane_top(kDiagnosticsLane + 2, top);
    for (int k = 0; k < lanes; ++k) {
      lane_labels[static_cast<std::size_t>(k)].place(
          page::kLeft + 1, right_edge() - 1, labels::kOptionalRows);
      lane_top[static_cast<std::size_t>(k + 1)] =
          lane_top[static_cast<std::size_t>(k)] +
          lane_labels[static_cast<std::size_t>(k)].height() + page::kLaneHeight;
    }
    const double height = lane_top[static_cast<std::size_t>(lanes)] - top;
    frame(svg, top, height, "Along the track");
    // The symbols of a lane stand below its labels.
    const auto lane_y = [&](int k) {
      return lane_top[static_cast<std::size_t>(k)] +
             lane_labels[static_cast<std::size_t>(k)].height() +
             page::kLaneHeight / 2 + 2;
    };
    for (int k = 0; k < lanes; ++k) {
      lane_name(svg, lane_y(k) + 2, names[k]);
      if (k > 0) {
        svg.line(page::kLeft, lane_top[static_cast<std::size_t>(k)],
                 right_edge(), lane_top[static_cast<std::size_t>(k)],
                 stroke(ink::kLaneRule, 1));
      }
    }
    draw_cell_symbols(svg, lane_y);
    for (const SlowOrderExtent& o : scene_.slow_orders) {
      const double x0 = px(static_cast<double>(cell_position(o.start_cell)));
      const double x1 = px(static_cast<double>(cell_position(o.end_cell)));
      svg.rect(x0, lane_y(lane_index(CellLane::kSlowOrders)) - 5,
               std::max(x1 - x0, 4.0), 10, fill(colour::kSlowOrder));
    }
    if (scene_.diagnostics) {
      if (scene_.diagnostics->empty()) {
        svg.text(page::kLeft + 8, lane_y(kDiagnosticsLane) + 4,
                 "The check found no fault and no warning.",
                 std::string("font-size=\"11\" fill=\"") + ink::kNote + "\"");
      }
      for (const PlotDiagnostic& d : *scene_.diagnostics) {
        if (!d.position) continue;
        svg.begin_group(diagnostic_text(d));
        diagnostic_symbol(svg, px(static_cast<double>(*d.position)),
                          lane_y(kDiagnosticsLane), d.severity);
        svg.end_group();
      }
    }
    for (int k = 0; k < lanes; ++k) {
      lane_labels[static_cast<std::size_t>(k)].draw(
          svg, lane_top[static_cast<std::size_t>(k)] + 2, lane_y(k) - 8);
    }
    return top + height;
  }

  double draw_km_axis(SvgWriter& svg, double top) {
    for (double g = 0; g <= scene_.domain_end + 1e-6; g += km_step()) {
      svg.line(px(g), top, px(g), top + 5, stroke(ink::kAxis, 1));
      svg.text(px(g), top + 18,
               km_text(g, g >= 10000 || km_step() >= 1000 ? 0 : 1),
               "text-anchor=\"middle\" font-size=\"11\"");
    }
    if (scene_.domain_end > scene_.length + 1) {
      const double x = px(scene_.length);
      const std::string label = "end of the line";
      const double half = text_width(label, 10) / 2;
      svg.line(x, top - 4, x, top + 5, stroke(colour::kSignal, 2));
      svg.text(std::clamp(x, page::kLeft + half, width_ - 4 - half), top + 32,
               label,
               std::string("text-anchor=\"middle\" font-size=\"10\" fill=\"") +
                   colour::kSignal + "\"");
    }
    svg.text((page::kLeft + right_edge()) / 2, top + 48,
             "distance along the line (km)", "text-anchor=\"middle\"");
    return top + page::kAxisHeight;
  }

  // Diagnostics that name no place on the line, listed below the axis.
  double draw_unplaced_diagnostics(SvgWriter& svg, double top) {
    if (!scene_.diagnostics) return top;
    std::vector<const PlotDiagnostic*> listed;
    for (const PlotDiagnostic& d : *scene_.diagnostics) {
      if (!d.position) listed.push_back(&d);
    }
    if (listed.empty()) return top;
    // A box as wide as the lanes around the title and one row each.
    const std::size_t rows =
        std::min(listed.size(), labels::kMostListedDiagnostics) +
        (listed.size() > labels::kMostListedDiagnostics ? 1 : 0);
    svg.rect(page::kLeft, top + 6, right_edge() - page::kLeft,
             30 + static_cast<double>(rows) * 18, stroke(ink::kFrame, 1));
    double y = top + 24;
    svg.text(page::kLeft + 8, y, "Diagnostics with no place on the line",
             "font-size=\"13\" font-weight=\"bold\"");
    std::size_t shown = 0;
    for (const PlotDiagnostic* d : listed) {
      if (shown == labels::kMostListedDiagnostics) break;
      y += 18;
      diagnostic_symbol(svg, page::kLeft + 14, y - 4, d->severity);
      svg.text(page::kLeft + 26, y, diagnostic_text(*d), "font-size=\"11\"");
      ++shown;
    }
    if (shown < listed.size()) {
      y += 18;
      svg.text(page::kLeft + 26, y,
               "and " + std::to_string(listed.size() - shown) + " more",
               std::string("font-size=\"11\" fill=\"") + ink::kNote + "\"");
    }
    return y + 14;
  }

  static double widest_listed(const std::vector<const PlotDiagnostic*>& list) {
    double widest = 0;
    for (const PlotDiagnostic* d : list) {
      widest = std::max(widest, text_width(diagnostic_text(*d), 11));
    }
    return widest;
  }

  const PlotScene& scene_;
  const ScenarioSet& s_;
  double width_ = page::kStartWidth;
  SvgWriter guides_;  // station guides, drawn under every panel
  SvgWriter greyed_;  // over every panel, past where the compile stopped
};

}  // namespace

std::string render_plot_svg(const PlotScene& scene) {
  return PlotBuilder(scene).build();
}

std::string render_plot_svg(const ScenarioSet& scenario) {
  return render_plot_svg(make_scene(scenario, std::nullopt));
}

}  // namespace scenc::tools
