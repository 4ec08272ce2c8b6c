#include "tools/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "tools/describe.h"
#include "tools/label_placement.h"
#include "tools/plot_symbols.h"
#include "tools/svg_writer.h"

namespace scenc::tools {
namespace {

constexpr const char* kFont = "DejaVu Sans, Arial, Helvetica, sans-serif";
constexpr int kFontSize = 12;

// The page, in pixels. The panels along the line share one horizontal
// scale between kLeft and the page width less kRight.
namespace page {
constexpr double kStartWidth = 1400;  // widened when the timetable needs it
constexpr double kLeft = 110;         // room for the lane names and y axes
constexpr double kRight = 40;
constexpr double kTitleBaseline = 34;
constexpr double kTopRow = 64;  // plan, legend and timetable
constexpr double kGapAfterTopRow = 40;
constexpr double kGapBeforePanel = 28;  // room for a panel's title
constexpr double kGradientHeight = 110;
constexpr double kCurvePlotHeight = 76;
constexpr double kSpeedHeight = 150;
constexpr double kLaneHeight = 30;  // a lane of symbols, without labels
constexpr double kAxisHeight = 56;
constexpr double kBottomMargin = 20;
}  // namespace page

// The plan of the line: the track fits a box of this size, with the same
// scale on both axes.
namespace plan {
constexpr double kMaxWidth = 700;
constexpr double kMaxHeight = 600;
constexpr double kPadding = 0.04;           // of the larger span, around it
constexpr double kLeastSpan = 1000;         // metres, for a very short line
constexpr std::int64_t kMostPoints = 4000;  // of the track's polyline
constexpr double kLabelSize = 11;
}  // namespace plan

// The top row: the legend between the plan and the timetable.
namespace top_row {
constexpr double kLegendAfterPlan = 190;  // room for names beside the plan
constexpr double kLegendRow = 22;
constexpr std::size_t kTimetableRows = 24;  // per column
constexpr double kLeastTimetableColumn = 270;
constexpr double kTimetableRow = 18;
constexpr double kTimetableSize = 11;
}  // namespace top_row

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
constexpr std::size_t kMostListedDiagnostics = 40;
}  // namespace labels

// Secondary inks.
namespace ink {
constexpr const char* kFrame = "#adb5bd";
constexpr const char* kGuide = "#ced4da";
constexpr const char* kAxis = "#495057";
constexpr const char* kLaneRule = "#e9ecef";
constexpr const char* kNote = "#555";
constexpr const char* kFootnote = "#777";
constexpr const char* kMountainText = "#6b5530";
constexpr const char* kLeader = "#adb5bd";
}  // namespace ink

// A white edge around a label, so that it stays readable where it crosses a
// leader line or a bar.
constexpr const char* kHalo =
    "paint-order=\"stroke\" stroke=\"white\" stroke-width=\"3\" "
    "stroke-linejoin=\"round\"";

std::string n(double v) { return svg_number(v); }

std::string font_attributes(double size, const char* colour,
                            const std::string& extra = {}) {
  return "font-size=\"" + std::to_string(static_cast<int>(size)) +
         "\" fill=\"" + colour + "\"" + (extra.empty() ? "" : " " + extra);
}

// The step of round numbers (1, 2 or 5 times a power of ten) that cuts
// `span` into about `parts` pieces.
double nice_step(double span, double parts) {
  const double raw = std::max(span / parts, 1e-9);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 5.0}) {
    if (m * power >= raw) return m * power;
  }
  return 10 * power;
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
    spots_ = place_labels(wishes_, from, to, optional_rows);
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

// A box a text takes, for the plan's own placement of its names.
struct Box {
  double x0, y0, x1, y1;
  bool meets(const Box& o) const {
    return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1;
  }
};

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
    SvgWriter body;
    double y = page::kTopRow;
    const double top_height = draw_top_row(body, y);
    y += top_height + page::kGapAfterTopRow;
    y = draw_station_strip(body, y);
    y = draw_gradient_panel(body, y + page::kGapBeforePanel);
    y = draw_curve_panel(body, y + page::kGapBeforePanel);
    y = draw_speed_panel(body, y + page::kGapBeforePanel);
    y = draw_object_lanes(body, y + page::kGapBeforePanel);
    y = draw_km_axis(body, y);
    y = draw_unplaced_diagnostics(body, y);
    const double height = y + page::kBottomMargin;

    SvgWriter head;
    head.text(page::kLeft, page::kTitleBaseline, scene_.title(),
              "font-size=\"20\" font-weight=\"bold\"");
    return SvgWriter::document(width_, height, kFont, kFontSize, scene_.title(),
                               {&head, &guides_, &body});
  }

 private:
  // The x of a place along the line, kept inside the panels.
  double px(double metres) const {
    return page::kLeft + std::clamp(metres, 0.0, scene_.domain_end) /
                             scene_.domain_end *
                             (width_ - page::kLeft - page::kRight);
  }
  double right_edge() const { return width_ - page::kRight; }

  // --- top row: plan, legend, timetable ---------------------------------

  double draw_top_row(SvgWriter& svg, double top) {
    const double plan_right = draw_plan(svg, top);
    // The timetable keeps to the right edge, the legend between it and the
    // plan, leaving room for the station names beside the plan.
    const double columns =
        std::ceil(static_cast<double>(scene_.stations.size()) /
                  static_cast<double>(top_row::kTimetableRows));
    const double table_width = std::max(columns, 1.0) * timetable_column();
    const double legend_width = legend_entries_width();
    const double legend_x =
        std::max(plan_right + top_row::kLegendAfterPlan,
                 right_edge() - table_width - legend_width - 20);
    const double legend_height = draw_legend(svg, legend_x, top);
    const auto [table_right, table_height] =
        draw_timetable(svg, legend_x + legend_width, top);
    width_ = std::max(width_, table_right + page::kRight);
    return std::max({plan_height_, legend_height, table_height});
  }

  // Returns the right edge of the plan and its axes.
  double draw_plan(SvgWriter& svg, double top) {
    svg.text(page::kLeft - 60, top - 8, "Plan of the line",
             "font-size=\"14\" font-weight=\"bold\"");
    const LineProfile& p = s_.profile;
    if (!s_.geometry_path || !p.exists()) {
      svg.text(page::kLeft - 60, top + 20,
               "No line geometry file: the plan is not drawn.",
               std::string("fill=\"") + ink::kNote + "\"");
      plan_height_ = 40;
      return page::kLeft + 300;
    }
    const std::int64_t metres = p.metre_count();
    const auto has = [&](std::int64_t m) {
      return p.tag(0, m) != LineProfile::Tag::kEmpty &&
             p.tag(1, m) != LineProfile::Tag::kEmpty;
    };
    double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    for (std::int64_t m = 0; m < metres; ++m) {
      if (!has(m)) continue;
      x0 = std::min(x0, p.value(0, m));
      x1 = std::max(x1, p.value(0, m));
      y0 = std::min(y0, p.value(1, m));
      y1 = std::max(y1, p.value(1, m));
    }
    // A little room around the track, so that the start, the end and their
    // labels stay inside the frame.
    const double pad =
        plan::kPadding * std::max({x1 - x0, y1 - y0, plan::kLeastSpan});
    x0 -= pad;
    x1 += pad;
    y0 -= pad;
    y1 += pad;
    // Same scale on both axes, the larger span filling its side.
    const double span_x = x1 - x0, span_y = y1 - y0;
    const double scale =
        std::min(plan::kMaxWidth / span_x, plan::kMaxHeight / span_y);
    const double w = span_x * scale, h = span_y * scale;
    const double left = page::kLeft, plot_top = top + 10;
    const auto sx = [&](double x) { return left + (x - x0) * scale; };
    const auto sy = [&](double y) { return plot_top + (y1 - y) * scale; };

    // Grid and axes in km.
    const double step = nice_step(std::max(span_x, span_y), 8);
    for (double g = std::ceil(x0 / step) * step; g <= x1 + 1e-6; g += step) {
      svg.line(sx(g), plot_top, sx(g), plot_top + h, stroke(colour::kGrid, 1));
      svg.text(sx(g), plot_top + h + 16, km_text(g, 0),
               "text-anchor=\"middle\" font-size=\"11\"");
    }
    for (double g = std::ceil(y0 / step) * step; g <= y1 + 1e-6; g += step) {
      svg.line(left, sy(g), left + w, sy(g), stroke(colour::kGrid, 1));
      svg.text(left - 6, sy(g) + 4, km_text(g, 0),
               "text-anchor=\"end\" font-size=\"11\"");
    }
    svg.rect(left, plot_top, w, h, stroke(ink::kFrame, 1));
    svg.text(left + w / 2, plot_top + h + 34, "x (km)",
             "text-anchor=\"middle\"");
    svg.text(left - 44, plot_top + h / 2, "y (km)",
             "text-anchor=\"middle\" transform=\"rotate(-90 " + n(left - 44) +
                 " " + n(plot_top + h / 2) + ")\"");

    // The track, then the margin beyond the line's end in grey. Every
    // metre would be too much SVG for a long line: a few thousand points.
    const std::int64_t end = std::min<std::int64_t>(s_.line_length, metres - 1);
    const std::int64_t stride =
        std::max<std::int64_t>(1, metres / plan::kMostPoints);
    const auto polyline = [&](std::int64_t from, std::int64_t to,
                              const std::string& style) {
      std::string d;
      for (std::int64_t m = from; m <= to;
           m = (m == to ? to + 1 : std::min(m + stride, to))) {
        if (!has(m)) continue;
        d += (d.empty() ? "M" : " L") + n(sx(p.value(0, m))) + " " +
             n(sy(p.value(1, m)));
      }
      if (!d.empty()) svg.path(d, style);
    };
    polyline(end, metres - 1,
             stroke(colour::kMargin, 1.5, "stroke-dasharray=\"5 4\""));
    polyline(0, end, stroke(colour::kTrack, 2.5, "stroke-linejoin=\"round\""));

    // Stations, the start and the end on the plan, each named beside its
    // point, inside the frame, where the name does not cover another; the
    // station strip below names every station in any case.
    const Box frame{left, plot_top, left + w, plot_top + h};
    std::vector<Box> taken;
    const auto place = [&](double cx, double cy, const std::string& label,
                           bool bold) {
      const double lw = text_width(label, plan::kLabelSize, bold);
      const double up = kTextAscent * plan::kLabelSize;
      const double down = kTextDescent * plan::kLabelSize;
      // Baselines beside, below and above the point.
      const std::pair<double, double> tries[] = {{cx + 8, cy + 4},
                                                 {cx - 8 - lw, cy + 4},
                                                 {cx - lw / 2, cy + 8 + up},
                                                 {cx - lw / 2, cy - 8 - down}};
      for (const auto& [bx, by] : tries) {
        const Box b{bx, by - up, bx + lw, by + down};
        if (b.x0 < frame.x0 || b.x1 > frame.x1 || b.y0 < frame.y0 ||
            b.y1 > frame.y1) {
          continue;
        }
        if (std::any_of(taken.begin(), taken.end(),
                        [&](const Box& t) { return b.meets(t); })) {
          continue;
        }
        taken.push_back(b);
        svg.text(bx, by, label,
                 bold ? "font-size=\"11\" font-weight=\"bold\""
                      : "font-size=\"11\"");
        return;
      }
    };
    std::vector<std::pair<double, double>> points;
    for (const PlotStation& st : scene_.stations) {
      const std::int64_t m =
          std::clamp<std::int64_t>(st.position, 0, metres - 1);
      if (!has(m)) continue;
      const double cx = sx(p.value(0, m)), cy = sy(p.value(1, m));
      svg.circle(cx, cy, 3.5,
                 fill("white", std::string("stroke=\"") + colour::kStation +
                                   "\" stroke-width=\"1.5\""));
      taken.push_back(Box{cx - 4, cy - 4, cx + 4, cy + 4});
      points.emplace_back(cx, cy);
    }
    // The ends first: they are named whatever the stations near them.
    if (has(end)) {
      const double ex = sx(p.value(0, end)), ey = sy(p.value(1, end));
      svg.circle(ex, ey, 4, fill(colour::kTrack));
      place(ex, ey, "end, km " + km_text(static_cast<double>(end)), true);
    }
    if (has(0)) place(sx(p.value(0, 0)), sy(p.value(1, 0)), "start", true);
    std::size_t k = 0;
    for (const PlotStation& st : scene_.stations) {
      const std::int64_t m =
          std::clamp<std::int64_t>(st.position, 0, metres - 1);
      if (!has(m)) continue;
      place(points[k].first, points[k].second, st.name, false);
      ++k;
    }
    plan_height_ = h + 50;
    return left + w;
  }

  struct LegendEntry {
    std::function<void(SvgWriter&, double, double)> symbol;
    std::string text;
  };

  std::vector<LegendEntry> legend_entries() const {
    std::vector<LegendEntry> entries = {
        {[](SvgWriter& s, double sx, double sy) {
           s.line(sx - 10, sy, sx + 10, sy, stroke(colour::kTrack, 2.5));
         },
         "track (plan); grey dashes: margin past the end"},
        {[](SvgWriter& s, double sx, double sy) {
           station_symbol(s, sx, sy, true);
         },
         "station, marked on the track"},
        {[](SvgWriter& s, double sx, double sy) {
           station_symbol(s, sx, sy, false);
         },
         "station without a track marker"},
        {[](SvgWriter& s, double sx, double sy) {
           s.rect(sx - 10, sy - 6, 9, 12, fill(colour::kUphill));
           s.rect(sx + 1, sy - 2, 9, 8, fill(colour::kDownhill));
         },
         "gradient up / down (per mille)"},
        {[](SvgWriter& s, double sx, double sy) {
           s.rect(sx - 10, sy - 6, 20, 12, fill(colour::kMountain));
         },
         "mountain (type in the band)"},
        {mountain_symbol, "mountain marker"},
        {[](SvgWriter& s, double sx, double sy) {
           s.rect(sx - 10, sy - 6, 9, 6, fill(colour::kCurveRight));
           s.rect(sx + 1, sy, 9, 6, fill(colour::kCurveLeft));
         },
         "curve right (d) / left (s), class 1 to 6"},
        {[](SvgWriter& s, double sx, double sy) {
           s.line(sx - 10, sy, sx + 10, sy, stroke(colour::kSpeed, 2));
         },
         "line speed limit (km/h)"},
        {[](SvgWriter& s, double sx, double sy) {
           s.rect(sx - 10, sy - 6, 20, 12,
                  fill(colour::kSlowOrder, "fill-opacity=\"0.35\""));
         },
         "slow order, with its speed"},
        {signal_symbol, "signal"},
        {board_symbol, "speed board (its highest speed)"},
        {signboard_symbol, "signboard"},
        {warning_symbol, "slow-order warning (1200 m before)"},
        {approach_symbol, "slow-order approach cells"},
        {mark_symbol, "abbattimento mark (its value)"},
    };
    if (scene_.diagnostics) {
      entries.push_back({[](SvgWriter& s, double sx, double sy) {
                           diagnostic_symbol(s, sx - 6, sy, Severity::kError);
                           diagnostic_symbol(s, sx + 6, sy, Severity::kWarning);
                         },
                         "fault or warning of the compile"});
    }
    return entries;
  }

  double legend_entries_width() const {
    double widest = 0;
    for (const LegendEntry& e : legend_entries()) {
      widest = std::max(widest, text_width(e.text, kFontSize));
    }
    return 32 + widest + 24;
  }

  double draw_legend(SvgWriter& svg, double x, double top) {
    svg.text(x, top - 8, "Legend", "font-size=\"14\" font-weight=\"bold\"");
    double y = top + 14;
    for (const LegendEntry& e : legend_entries()) {
      e.symbol(svg, x + 12, y - 4);
      svg.text(x + 32, y, e.text);
      y += top_row::kLegendRow;
    }
    return y - top;
  }

  // A timetable column: the km, the longest name and the time side by side.
  double timetable_column() const {
    double longest = 0;
    for (const PlotStation& st : scene_.stations) {
      longest = std::max(longest, text_width(st.name, top_row::kTimetableSize));
    }
    const double time = text_width("00:00:00", top_row::kTimetableSize);
    return std::max(top_row::kLeastTimetableColumn,
                    44 + longest + 12 + time + 10);
  }

  // The stations with their times, in columns.
  std::pair<double, double> draw_timetable(SvgWriter& svg, double x,
                                           double top) {
    using top_row::kTimetableRow, top_row::kTimetableRows;
    svg.text(x, top - 8, "Stations", "font-size=\"14\" font-weight=\"bold\"");
    const double column = timetable_column();
    double right = x;
    for (std::size_t i = 0; i < scene_.stations.size(); ++i) {
      const PlotStation& st = scene_.stations[i];
      const double cx = x + static_cast<double>(i / kTimetableRows) * column;
      const double cy =
          top + 14 + static_cast<double>(i % kTimetableRows) * kTimetableRow;
      svg.text(cx, cy, km_text(static_cast<double>(st.position)),
               std::string("font-size=\"11\" fill=\"") + ink::kNote + "\"");
      svg.text(cx + 44, cy, st.name, "font-size=\"11\"");
      if (st.time != 0) {
        svg.text(cx + column - 10, cy, clock_text(st.time),
                 "font-size=\"11\" text-anchor=\"end\"");
      }
      right = std::max(right, cx + column - 10);
    }
    const double rows =
        static_cast<double>(std::min(scene_.stations.size(), kTimetableRows));
    svg.text(x, top + 14 + rows * kTimetableRow + 4, "km, name, timetable time",
             std::string("font-size=\"10\" fill=\"") + ink::kFootnote + "\"");
    return {right, 30 + rows * kTimetableRow};
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
        static_cast<std::int64_t>(scene_.domain_end / 50) + 1;
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
      const double x0 = px(static_cast<double>(r.first) * 50);
      const double x1 = px(static_cast<double>(r.last + 1) * 50);
      svg.begin_group("mountain type " + std::to_string(r.value) + " from km " +
                      km_text(static_cast<double>(r.first) * 50, 2) +
                      " to km " +
                      km_text(static_cast<double>(r.last + 1) * 50, 2));
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
      const double x0 = px(static_cast<double>(r.first) * 50);
      const double x1 = px(static_cast<double>(r.last + 1) * 50);
      const double y0 = gy(0), y1 = gy(r.value);
      svg.rect(x0, std::min(y0, y1), std::max(x1 - x0, 1.0), std::abs(y1 - y0),
               fill(r.value > 0 ? colour::kUphill : colour::kDownhill));
    }
    for (std::size_t i = 0; i < s_.cells.size(); ++i) {
      if (s_.cells[i].kind == cell_kind::kMountainMarker) {
        mountain_symbol(svg,
                        px(static_cast<double>(
                            cell_position(static_cast<std::int64_t>(i)))),
                        top + height - 6);
      }
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
        static_cast<std::int64_t>(scene_.domain_end / 50) + 1;
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
    // pixels wide so that a short one still shows. Each speed is written
    // just right of its band where that leaves the others clear.
    std::vector<LabelWish> wishes;
    for (const SlowOrderExtent& o : scene_.slow_orders) {
      const double x0 = px(static_cast<double>(cell_position(o.start_cell)));
      const double x1 = px(static_cast<double>(cell_position(o.end_cell)));
      const double w = std::max(x1 - x0, 4.0);
      svg.rect(x0, top, w, height,
               fill(colour::kSlowOrder, "fill-opacity=\"0.35\""));
      svg.line(x0, vy(o.speed), x0 + w, vy(o.speed),
               stroke(colour::kSlowOrder, 3));
      const double lw = text_width(speed_label(o.speed), 11, true);
      wishes.push_back(LabelWish{x0 + w + 3 + lw / 2, lw, false, 0});
    }
    const auto spots = place_labels(wishes, page::kLeft, right_edge(), 1, 3);
    for (std::size_t i = 0; i < wishes.size(); ++i) {
      if (!spots[i].placed) continue;
      svg.text(spots[i].left, vy(scene_.slow_orders[i].speed) - 4,
               speed_label(scene_.slow_orders[i].speed),
               std::string("font-size=\"11\" font-weight=\"bold\" fill=\"") +
                   colour::kSlowOrder + "\" " + kHalo);
    }
    // The line speed limit counts a cell from 50 x i metres, as gradients do.
    std::string d;
    for (const Run& r : speed_runs) {
      const double x0 = px(static_cast<double>(r.first) * 50);
      const double x1 = px(static_cast<double>(r.last + 1) * 50);
      d += (d.empty() ? "M" : " L") + n(x0) + " " + n(vy(r.value)) + " L" +
           n(x1) + " " + n(vy(r.value));
    }
    if (!d.empty())
      svg.path(d, stroke(colour::kSpeed, 2, "stroke-linejoin=\"round\""));
    axis_title(svg, top, height, "km/h");
    return top + height;
  }

  static std::string speed_label(int speed) {
    return std::to_string(speed) + " km/h";
  }

  // The lanes of objects on single cells, each as tall as its labels need.
  double draw_object_lanes(SvgWriter& svg, double top) {
    enum Lane { kSignals, kBoards, kSignboards, kSlowOrders, kMarks, kFaults };
    const char* names[] = {"signals",     "speed boards", "signboards",
                           "slow orders", "abbattimento", "diagnostics"};
    const int lanes = scene_.diagnostics ? 6 : 5;
    std::vector<LaneLabels> lane_labels(
        6, LaneLabels(labels::kLaneSize, labels::kLanePitch));
    for (std::size_t i = 0; i < s_.cells.size(); ++i) {
      const TrackCell& c = s_.cells[i];
      const double pos =
          static_cast<double>(cell_position(static_cast<std::int64_t>(i)));
      if (pos > scene_.domain_end) continue;
      const double x = px(pos);
      // Signboards and marks are always named; boards where there is room.
      switch (c.kind) {
        case cell_kind::kSpeedBoard:
          lane_labels[kBoards].add(x, object_label(c, s_.slots), colour::kBoard,
                                   false);
          break;
        case cell_kind::kSignboard:
          lane_labels[kSignboards].add(x, object_label(c, s_.slots),
                                       colour::kSignboard, true);
          break;
        case cell_kind::kAbbattimento:
        case cell_kind::kAbbattimentoZero:
          lane_labels[kMarks].add(x, object_label(c, s_.slots), colour::kMark,
                                  true);
          break;
        default:
          break;
      }
    }
    if (scene_.diagnostics) {
      for (const PlotDiagnostic& d : *scene_.diagnostics) {
        if (!d.position) continue;
        lane_labels[kFaults].add(px(static_cast<double>(*d.position)), d.check,
                                 severity_colour(d.severity), false);
      }
    }
    std::vector<double> lane_top(7, top);
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
    for (std::size_t i = 0; i < s_.cells.size(); ++i) {
      const TrackCell& c = s_.cells[i];
      const auto index = static_cast<std::int64_t>(i);
      const double pos = static_cast<double>(cell_position(index));
      if (pos > scene_.domain_end) continue;
      const double x = px(pos);
      // A symbol that names its values when the pointer rests on it.
      const auto hovered = [&](const auto& draw) {
        svg.begin_group(kind_name(c.kind) + " at km " + km_text(pos, 2) + ": " +
                        details_text(describe_cell(index, c, &s_.slots)));
        draw();
        svg.end_group();
      };
      switch (c.kind) {
        case cell_kind::kSignal:
          hovered([&] { signal_symbol(svg, x, lane_y(kSignals)); });
          break;
        case cell_kind::kSpeedBoard:
          hovered([&] { board_symbol(svg, x, lane_y(kBoards)); });
          break;
        case cell_kind::kSignboard:
          hovered([&] { signboard_symbol(svg, x, lane_y(kSignboards)); });
          break;
        case cell_kind::kSlowOrderWarning:
          hovered([&] { warning_symbol(svg, x, lane_y(kSlowOrders)); });
          break;
        case cell_kind::kSlowOrderApproach:
          approach_symbol(svg, x, lane_y(kSlowOrders));
          break;
        case cell_kind::kAbbattimento:
        case cell_kind::kAbbattimentoZero:
          hovered([&] { mark_symbol(svg, x, lane_y(kMarks)); });
          break;
        default:
          break;
      }
    }
    for (const SlowOrderExtent& o : scene_.slow_orders) {
      const double x0 = px(static_cast<double>(cell_position(o.start_cell)));
      const double x1 = px(static_cast<double>(cell_position(o.end_cell)));
      svg.rect(x0, lane_y(kSlowOrders) - 5, std::max(x1 - x0, 4.0), 10,
               fill(colour::kSlowOrder));
    }
    if (scene_.diagnostics) {
      if (scene_.diagnostics->empty()) {
        svg.text(page::kLeft + 8, lane_y(kFaults) + 4,
                 "The compile recorded no fault.",
                 std::string("font-size=\"11\" fill=\"") + ink::kNote + "\"");
      }
      for (const PlotDiagnostic& d : *scene_.diagnostics) {
        if (!d.position) continue;
        svg.begin_group(diagnostic_text(d));
        diagnostic_symbol(svg, px(static_cast<double>(*d.position)),
                          lane_y(kFaults), d.severity);
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
  double plan_height_ = 0;
  SvgWriter guides_;  // station guides, drawn under every panel
};

}  // namespace

std::string render_plot_svg(const PlotScene& scene) {
  return PlotBuilder(scene).build();
}

std::string render_plot_svg(const ScenarioSet& scenario) {
  return render_plot_svg(make_scene(scenario, std::nullopt));
}

}  // namespace scenc::tools
