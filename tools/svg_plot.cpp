#include "tools/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "tools/describe.h"
#include "tools/plot_symbols.h"
#include "tools/svg_writer.h"
#include "tools/text_encoding.h"

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
constexpr double kTopRow = 56;  // plan, legend and timetable
constexpr double kGapAfterTopRow = 40;
constexpr double kGapBeforeGradient = 26;
constexpr double kGradientHeight = 110;
constexpr double kGapBeforeSpeed = 28;
constexpr double kSpeedHeight = 150;
constexpr double kGapBeforeLanes = 24;
constexpr double kLaneHeight = 30;
constexpr double kAxisHeight = 44;
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
constexpr double kLabelCharWidth = 6.8;     // at font size 11
}  // namespace plan

// The top row: the legend between the plan and the timetable.
namespace top_row {
constexpr double kLegendAfterPlan = 190;  // room for names beside the plan
constexpr double kLegendWidth = 340;
constexpr double kLegendRow = 22;
constexpr std::size_t kTimetableRows = 24;  // per column
constexpr double kTimetableColumn = 270;
constexpr double kTimetableRow = 18;
}  // namespace top_row

// Secondary inks.
namespace ink {
constexpr const char* kFrame = "#adb5bd";
constexpr const char* kGuide = "#ced4da";
constexpr const char* kAxis = "#495057";
constexpr const char* kLaneRule = "#e9ecef";
constexpr const char* kNote = "#555";
constexpr const char* kFootnote = "#777";
constexpr const char* kMountainText = "#6b5530";
}  // namespace ink

std::string n(double v) { return svg_number(v); }

std::string km_text(double metres, int decimals = 1) {
  char b[32];
  std::snprintf(b, sizeof b, "%.*f", decimals, metres / 1000.0);
  std::string text = b;
  // A value that rounds to zero from below would print as "-0".
  if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos)
    text.erase(0, 1);
  return text;
}

// Runs of blanks in a sign's text take room on the picture without saying
// anything there.
std::string squeezed(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
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

struct Station {
  int slot = 0;
  std::string name;  // UTF-8
  const ScenarioSlot* data = nullptr;
};

// Labels placed left to right in two rows (above and below their symbols)
// that must not overlap: `row` returns the row where a label spanning
// [from, to] still fits, or -1 when neither has room.
class LabelRows {
 public:
  explicit LabelRows(int rows = 2) : rows_(rows) {}
  int row(double from, double to) {
    for (int r = 0; r < rows_; ++r) {
      if (from >= end_[r]) {
        end_[r] = to + 3;
        return r;
      }
    }
    return -1;
  }

 private:
  int rows_;
  double end_[2] = {-1e9, -1e9};
};

class PlotBuilder {
 public:
  explicit PlotBuilder(const ScenarioSet& s) : s_(s) {
    for (int k = 1; k <= kFirstSignboardSlot; ++k) {
      const ScenarioSlot& slot = s.slots[static_cast<std::size_t>(k)];
      if (slot_role(k, slot) == SlotRole::kStation) {
        stations_.push_back(Station{k, windows1252_to_utf8(slot.name), &slot});
      }
    }
    length_ = static_cast<double>(std::max<std::int64_t>(s.line_length, 1));
    // The axis covers the line, and the margin beyond it only as far as an
    // object stands there.
    double last_object = 0;
    for (std::size_t i = 0; i < s.cells.size(); ++i) {
      if (s.cells[i].kind != cell_kind::kFree) {
        last_object = std::max(
            last_object,
            static_cast<double>(cell_position(static_cast<std::int64_t>(i))));
      }
    }
    for (const Station& st : stations_) {
      last_object = std::max(last_object, static_cast<double>(st.data->num2));
    }
    domain_end_ = std::max(length_, last_object + 100);
  }

  std::string build() {
    SvgWriter body;
    double y = page::kTopRow;
    const double top_height = draw_top_row(body, y);
    y += top_height + page::kGapAfterTopRow;
    y = draw_station_strip(body, y);
    y = draw_gradient_panel(body, y + page::kGapBeforeGradient);
    y = draw_speed_panel(body, y + page::kGapBeforeSpeed);
    y = draw_object_lanes(body, y + page::kGapBeforeLanes);
    y = draw_km_axis(body, y);
    const double height = y + page::kBottomMargin;

    SvgWriter head;
    head.text(page::kLeft, page::kTitleBaseline, title(),
              "font-size=\"20\" font-weight=\"bold\"");
    return SvgWriter::document(width_, height, kFont, kFontSize, title(),
                               {&head, &guides_, &body});
  }

 private:
  std::string title() const {
    const std::string line = windows1252_to_utf8(s_.slots[kLineSlot].name);
    const std::string train = windows1252_to_utf8(s_.slots[kTrainSlot].name);
    return "Line " + line + ", train " + train + ": " + km_text(length_) +
           " km, " + std::to_string(stations_.size()) + " stations";
  }

  // The x of a place along the line, kept inside the panels.
  double px(double metres) const {
    return page::kLeft + std::clamp(metres, 0.0, domain_end_) / domain_end_ *
                             (width_ - page::kLeft - page::kRight);
  }
  double right_edge() const { return width_ - page::kRight; }

  // --- top row: plan, legend, timetable ---------------------------------

  double draw_top_row(SvgWriter& svg, double top) {
    const double plan_right = draw_plan(svg, top);
    // The timetable keeps to the right edge, the legend between it and the
    // plan, leaving room for the station names beside the plan.
    const double columns =
        std::ceil(static_cast<double>(stations_.size()) /
                  static_cast<double>(top_row::kTimetableRows));
    const double table_width =
        std::max(columns, 1.0) * top_row::kTimetableColumn;
    const double legend_x =
        std::max(plan_right + top_row::kLegendAfterPlan,
                 right_edge() - table_width - top_row::kLegendWidth - 20);
    const double legend_height = draw_legend(svg, legend_x, top);
    const auto [table_right, table_height] =
        draw_timetable(svg, legend_x + top_row::kLegendWidth, top);
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
    // point where the name does not cover another.
    struct Box {
      double x0, y0, x1, y1;
    };
    std::vector<Box> taken;
    const auto place = [&](double cx, double cy, const std::string& label,
                           const std::string& style) {
      const double lw = plan::kLabelCharWidth *
                        static_cast<double>(label.size()),
                   lh = 12;
      const Box tries[] = {{cx + 8, cy - 8, cx + 8 + lw, cy - 8 + lh},
                           {cx - 8 - lw, cy - 8, cx - 8, cy - 8 + lh},
                           {cx - lw / 2, cy + 8, cx + lw / 2, cy + 8 + lh},
                           {cx - lw / 2, cy - 8 - lh, cx + lw / 2, cy - 8}};
      for (const Box& b : tries) {
        const bool clear =
            std::none_of(taken.begin(), taken.end(), [&](const Box& t) {
              return b.x0 < t.x1 && t.x0 < b.x1 && b.y0 < t.y1 && t.y0 < b.y1;
            });
        if (!clear) continue;
        taken.push_back(b);
        svg.text(b.x0, b.y1 - 2, label, "font-size=\"11\"" + style);
        return;
      }
    };
    std::vector<std::pair<double, double>> points;
    for (const Station& st : stations_) {
      const std::int64_t m =
          std::clamp<std::int64_t>(st.data->num3, 0, metres - 1);
      if (!has(m)) continue;
      const double cx = sx(p.value(0, m)), cy = sy(p.value(1, m));
      svg.circle(cx, cy, 3.5,
                 fill("white", std::string("stroke=\"") + colour::kStation +
                                   "\" stroke-width=\"1.5\""));
      taken.push_back(Box{cx - 4, cy - 4, cx + 4, cy + 4});
      points.emplace_back(cx, cy);
    }
    std::size_t k = 0;
    for (const Station& st : stations_) {
      const std::int64_t m =
          std::clamp<std::int64_t>(st.data->num3, 0, metres - 1);
      if (!has(m)) continue;
      place(points[k].first, points[k].second, st.name, "");
      ++k;
    }
    if (has(end)) {
      const double ex = sx(p.value(0, end)), ey = sy(p.value(1, end));
      svg.circle(ex, ey, 4, fill(colour::kTrack));
      place(ex, ey, "end, km " + km_text(static_cast<double>(end)),
            " font-weight=\"bold\"");
    }
    if (has(0)) {
      place(sx(p.value(0, 0)), sy(p.value(1, 0)), "start",
            " font-weight=\"bold\"");
    }
    plan_height_ = h + 50;
    return left + w;
  }

  double draw_legend(SvgWriter& svg, double x, double top) {
    svg.text(x, top - 8, "Legend", "font-size=\"14\" font-weight=\"bold\"");
    struct Entry {
      std::function<void(SvgWriter&, double, double)> symbol;
      std::string text;
    };
    const std::vector<Entry> entries = {
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
    double y = top + 14;
    for (const Entry& e : entries) {
      e.symbol(svg, x + 12, y - 4);
      svg.text(x + 32, y, e.text);
      y += top_row::kLegendRow;
    }
    return y - top;
  }

  // The stations with their times, in columns.
  std::pair<double, double> draw_timetable(SvgWriter& svg, double x,
                                           double top) {
    using top_row::kTimetableColumn, top_row::kTimetableRow,
        top_row::kTimetableRows;
    svg.text(x, top - 8, "Stations", "font-size=\"14\" font-weight=\"bold\"");
    double right = x;
    for (std::size_t i = 0; i < stations_.size(); ++i) {
      const Station& st = stations_[i];
      const double cx =
          x + static_cast<double>(i / kTimetableRows) * kTimetableColumn;
      const double cy =
          top + 14 + static_cast<double>(i % kTimetableRows) * kTimetableRow;
      const std::int32_t t = st.data->num4;
      svg.text(cx, cy, km_text(st.data->num3),
               std::string("font-size=\"11\" fill=\"") + ink::kNote + "\"");
      svg.text(cx + 44, cy, st.name, "font-size=\"11\"");
      svg.text(cx + kTimetableColumn - 10, cy, t == 0 ? "" : clock_text(t),
               "font-size=\"11\" text-anchor=\"end\"");
      right = std::max(right, cx + kTimetableColumn - 10);
    }
    const double rows =
        static_cast<double>(std::min(stations_.size(), kTimetableRows));
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
    for (double g = 0; g <= domain_end_ + 1e-6; g += km_step()) {
      svg.line(px(g), top, px(g), top + height, stroke(colour::kGrid, 1));
    }
    for (const Station& st : stations_) {
      guides_.line(px(st.data->num3), top, px(st.data->num3), top + height,
                   std::string("stroke=\"") + ink::kGuide +
                       "\" stroke-width=\"1\" stroke-dasharray=\"2 3\"");
    }
  }

  double km_step() const { return nice_step(domain_end_, 16); }

  // The name of a lane or axis, right-aligned left of the panels.
  void lane_name(SvgWriter& svg, double y, const std::string& name) {
    svg.text(page::kLeft - 8, y, name,
             std::string("text-anchor=\"end\" font-size=\"11\" fill=\"") +
                 ink::kNote + "\"");
  }

  // Station names above their places, written slanted so that close
  // stations stay readable.
  double draw_station_strip(SvgWriter& svg, double top) {
    double longest = 0;
    for (const Station& st : stations_) {
      longest = std::max(longest, 6.6 * static_cast<double>(st.name.size()));
    }
    const double strip = std::min(longest * 0.64 + 24, 170.0);
    const double lane = top + strip;
    lane_name(svg, lane + 4, "stations");
    svg.line(page::kLeft, lane, right_edge(), lane, stroke(ink::kGuide, 1));
    for (const Station& st : stations_) {
      const double from = px(st.data->num1), to = px(st.data->num2);
      svg.rect(from, lane + 7, std::max(to - from, 2.0), 3,
               fill(colour::kStationExtent));
      const double x = px(st.data->num3);
      station_symbol(svg, x, lane, st.data->kind < 25);
      svg.text(x + 2, lane - 10, st.name,
               "font-size=\"11\" transform=\"rotate(-40 " + n(x + 2) + " " +
                   n(lane - 10) + ")\"");
    }
    return lane + 16;
  }

  double draw_gradient_panel(SvgWriter& svg, double top) {
    const double height = page::kGradientHeight;
    frame(svg, top, height, "Gradient (\u2030) and mountains");
    const std::int64_t until = static_cast<std::int64_t>(domain_end_ / 50) + 1;
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
    // from 50 x i metres.
    for (const Run& r : runs_of(
             s_.cells, until, [](const TrackCell& c) { return c.mountain; })) {
      if (r.value == 0) continue;
      const double x0 = px(static_cast<double>(r.first) * 50);
      const double x1 = px(static_cast<double>(r.last + 1) * 50);
      svg.rect(x0, top, std::max(x1 - x0, 2.0), height,
               fill(colour::kMountain, "fill-opacity=\"0.6\""));
      svg.text(
          x0 + 2, top + 11, "type " + std::to_string(r.value),
          std::string("font-size=\"9\" fill=\"") + ink::kMountainText + "\"");
    }
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
    svg.line(page::kLeft, gy(0), right_edge(), gy(0), stroke(ink::kAxis, 1));
    for (double g = -g_max; g <= g_max + 1e-6; g += g_step) {
      svg.text(page::kLeft - 6, gy(g) + 4, std::to_string(static_cast<int>(g)),
               "text-anchor=\"end\" font-size=\"11\"");
    }
    axis_title(svg, top, height, "\u2030");
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
    const std::int64_t until = static_cast<std::int64_t>(domain_end_ / 50) + 1;
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
    LabelRows labels(1);
    for_each_slow_order([&](std::int64_t start, std::int64_t end_cell,
                            int speed) {
      const double x0 = px(static_cast<double>(cell_position(start)));
      const double x1 = px(static_cast<double>(cell_position(end_cell)));
      const double w = std::max(x1 - x0, 4.0);
      svg.rect(x0, top, w, height,
               fill(colour::kSlowOrder, "fill-opacity=\"0.35\""));
      svg.line(x0, vy(speed), x0 + w, vy(speed), stroke(colour::kSlowOrder, 3));
      const std::string label = std::to_string(speed) + " km/h";
      if (labels.row(x0 + w + 3,
                     x0 + w + 3 + 7.0 * static_cast<double>(label.size())) ==
          0) {
        svg.text(x0 + w + 3, vy(speed) - 4, label,
                 std::string("font-size=\"11\" font-weight=\"bold\" fill=\"") +
                     colour::kSlowOrder + "\"");
      }
    });
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

  // Calls `f`(start cell, end cell, speed) for each slow order on the grid.
  void for_each_slow_order(
      const std::function<void(std::int64_t, std::int64_t, int)>& f) const {
    const auto count = static_cast<std::int64_t>(s_.cells.size());
    for (std::int64_t i = 0; i < count; ++i) {
      const TrackCell& c = s_.cells[static_cast<std::size_t>(i)];
      if (c.kind != cell_kind::kSlowOrderStart) continue;
      std::int64_t end = i;
      while (end + 1 < count && s_.cells[static_cast<std::size_t>(end)].kind !=
                                    cell_kind::kSlowOrderEnd)
        ++end;
      if (s_.cells[static_cast<std::size_t>(end)].kind !=
          cell_kind::kSlowOrderEnd)
        end = i;
      f(i, end, c.value1);
    }
  }

  double draw_object_lanes(SvgWriter& svg, double top) {
    const double lane = page::kLaneHeight;
    const char* names[] = {"signals", "speed boards", "signboards",
                           "slow orders", "abbattimento"};
    const int lanes = 5;
    const double height = lane * lanes;
    frame(svg, top, height, "Along the track");
    for (int k = 0; k < lanes; ++k) {
      const double y = top + lane * k + lane / 2;
      lane_name(svg, y + 4, names[k]);
      if (k > 0)
        svg.line(page::kLeft, top + lane * k, right_edge(), top + lane * k,
                 stroke(ink::kLaneRule, 1));
    }
    const auto lane_y = [&](int k) { return top + lane * k + lane / 2 + 2; };
    LabelRows board_labels, sign_labels, mark_labels;
    // A label above its symbol, or below it when the row above is full.
    const auto label = [&](LabelRows& rows, double x, int lane_index,
                           const std::string& text, const char* colour) {
      const double w = 5.6 * static_cast<double>(text.size());
      const int r = rows.row(x - w / 2, x + w / 2);
      if (r < 0) return;
      const double y =
          r == 0 ? lane_y(lane_index) - 7 : lane_y(lane_index) + 14;
      svg.text(x, y, text,
               std::string("font-size=\"9\" text-anchor=\"middle\" fill=\"") +
                   colour + "\"");
    };
    for (std::size_t i = 0; i < s_.cells.size(); ++i) {
      const TrackCell& c = s_.cells[i];
      const auto index = static_cast<std::int64_t>(i);
      const double pos = static_cast<double>(cell_position(index));
      if (pos > domain_end_) continue;
      const double x = px(pos);
      const Details details = describe_cell(index, c, &s_.slots);
      // A symbol that names its values when the pointer rests on it.
      const auto hovered = [&](const auto& draw) {
        svg.begin_group(kind_name(c.kind) + " at km " + km_text(pos, 2) + ": " +
                        details_text(details));
        draw();
        svg.end_group();
      };
      switch (c.kind) {
        case cell_kind::kSignal:
          hovered([&] { signal_symbol(svg, x, lane_y(0)); });
          break;
        case cell_kind::kSpeedBoard:
          hovered([&] { board_symbol(svg, x, lane_y(1)); });
          label(board_labels, x, 1,
                std::to_string(
                    std::max({c.value1 / 100, c.value2 / 100, c.value3 / 100}) *
                    5),
                colour::kBoard);
          break;
        case cell_kind::kSignboard:
          hovered([&] { signboard_symbol(svg, x, lane_y(2)); });
          if (c.value1 >= 0 && c.value1 < kSlotCount) {
            label(sign_labels, x, 2,
                  squeezed(windows1252_to_utf8(
                      s_.slots[static_cast<std::size_t>(c.value1)].name)),
                  colour::kSignboard);
          }
          break;
        case cell_kind::kSlowOrderWarning:
          hovered([&] { warning_symbol(svg, x, lane_y(3)); });
          break;
        case cell_kind::kSlowOrderApproach:
          approach_symbol(svg, x, lane_y(3));
          break;
        case cell_kind::kAbbattimento:
        case cell_kind::kAbbattimentoZero:
          hovered([&] { mark_symbol(svg, x, lane_y(4)); });
          label(mark_labels, x, 4,
                c.kind == cell_kind::kAbbattimento ? std::to_string(c.value1)
                                                   : "0",
                colour::kMark);
          break;
        default:
          break;
      }
    }
    for_each_slow_order([&](std::int64_t start, std::int64_t end_cell, int) {
      const double x0 = px(static_cast<double>(cell_position(start)));
      const double x1 = px(static_cast<double>(cell_position(end_cell)));
      svg.rect(x0, lane_y(3) - 5, std::max(x1 - x0, 4.0), 10,
               fill(colour::kSlowOrder));
    });
    return top + height;
  }

  double draw_km_axis(SvgWriter& svg, double top) {
    for (double g = 0; g <= domain_end_ + 1e-6; g += km_step()) {
      svg.line(px(g), top, px(g), top + 5, stroke(ink::kAxis, 1));
      svg.text(px(g), top + 18,
               km_text(g, g >= 10000 || km_step() >= 1000 ? 0 : 1),
               "text-anchor=\"middle\" font-size=\"11\"");
    }
    if (domain_end_ > length_ + 1) {
      svg.line(px(length_), top - 4, px(length_), top + 5,
               stroke(colour::kSignal, 2));
      svg.text(px(length_), top + 32, "end of the line",
               std::string("text-anchor=\"middle\" font-size=\"10\" fill=\"") +
                   colour::kSignal + "\"");
    }
    svg.text((page::kLeft + right_edge()) / 2, top + 38,
             "distance along the line (km)", "text-anchor=\"middle\"");
    return top + page::kAxisHeight;
  }

  const ScenarioSet& s_;
  std::vector<Station> stations_;
  double length_ = 1;
  double domain_end_ = 1;
  double width_ = page::kStartWidth;
  double plan_height_ = 0;
  SvgWriter guides_;  // station guides, drawn under every panel
};

}  // namespace

std::string render_plot_svg(const ScenarioSet& scenario) {
  return PlotBuilder(scenario).build();
}

}  // namespace scenc::tools
