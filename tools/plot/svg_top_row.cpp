#include "tools/plot/svg_top_row.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <span>
#include <vector>

#include "tools/decode/describe.h"
#include "tools/plot/label_placement.h"
#include "tools/plot/svg_layout.h"
#include "tools/plot/symbols.h"

namespace scenc::tools {
namespace {

using namespace svg_layout;

// The plan of the line: the track fits a box of this size, with the same
// scale on both axes.
namespace plan {
constexpr double kMaxWidth = 700;
constexpr double kMaxHeight = 600;
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

class TopRow {
 public:
  TopRow(const PlotScene& scene, double& width)
      : scene_(scene), width_(width) {}

  double draw(SvgWriter& svg, double top) {
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

 private:
  // Where the plan stands on the page, and the page's point of a point of
  // the plan: the same scale on both axes.
  struct PlanFrame {
    const PlanView& plan;
    double left, top, w, h, scale;
    double sx(double x) const { return left + (x - plan.x0) * scale; }
    double sy(double y) const { return top + (plan.y1 - y) * scale; }
  };

  // The plan's grid and its axes in km.
  void draw_plan_axes(SvgWriter& svg, const PlanFrame& f) {
    const PlanView& plan = f.plan;
    const double span_x = plan.x1 - plan.x0, span_y = plan.y1 - plan.y0;
    const double left = f.left, plot_top = f.top, w = f.w, h = f.h;
    const auto sx = [&](double x) { return f.sx(x); };
    const auto sy = [&](double y) { return f.sy(y); };
    const double step = nice_step(std::max(span_x, span_y), 8);
    for (double g = std::ceil(plan.x0 / step) * step; g <= plan.x1 + 1e-6;
         g += step) {
      svg.line(sx(g), plot_top, sx(g), plot_top + h, stroke(colour::kGrid, 1));
      svg.text(sx(g), plot_top + h + 16, km_text(g, 0),
               "text-anchor=\"middle\" font-size=\"11\"");
    }
    for (double g = std::ceil(plan.y0 / step) * step; g <= plan.y1 + 1e-6;
         g += step) {
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
  }

  // Signals, boards and stations on the plan, and the names of the
  // stations and of the line's ends.
  void draw_plan_marks(SvgWriter& svg, const PlanFrame& f) {
    const PlanView& plan = f.plan;
    const double left = f.left, plot_top = f.top, w = f.w, h = f.h;
    const auto sx = [&](double x) { return f.sx(x); };
    const auto sy = [&](double y) { return f.sy(y); };
    // Signals and boards small beside the track, stations over them, each
    // station, the start and the end named beside its point, inside the
    // frame, where the name does not cover another; the station strip
    // below names every station in any case.
    ClearSpots names(TextBox{left, plot_top, left + w, plot_top + h}, 0);
    // The start and the end are in bold, and may also stand at a corner of
    // their point.
    const auto place = [&](double cx, double cy, const std::string& label,
                           bool bold) {
      const double lw = text_width(label, plan::kLabelSize, bold);
      const double up = kTextAscent * plan::kLabelSize;
      const double down = kTextDescent * plan::kLabelSize;
      // Baselines beside, below and above the point, then at its corners.
      const std::pair<double, double> tries[] = {{cx + 8, cy + 4},
                                                 {cx - 8 - lw, cy + 4},
                                                 {cx - lw / 2, cy + 8 + up},
                                                 {cx - lw / 2, cy - 8 - down},
                                                 {cx + 6, cy - 6 - down},
                                                 {cx + 6, cy + 6 + up},
                                                 {cx - 6 - lw, cy - 6 - down},
                                                 {cx - 6 - lw, cy + 6 + up}};
      std::vector<TextBox> boxes;
      for (const auto& [bx, by] : std::span(tries).first(bold ? 8 : 4)) {
        boxes.push_back(TextBox{bx, by - up, bx + lw, by + down});
      }
      if (const auto b = names.take_first(boxes)) {
        svg.text(b->x0, b->y1 - down, label,
                 bold ? "font-size=\"11\" font-weight=\"bold\""
                      : "font-size=\"11\"");
      }
    };
    for (const PlanMark& mark : plan.marks) {
      const double cx = sx(mark.at.x), cy = sy(mark.at.y);
      switch (mark.kind) {
        case PlanMark::Kind::kSignal:
          svg.circle(cx, cy, 1.8, fill(colour::kSignal));
          break;
        case PlanMark::Kind::kBoard:
          svg.rect(cx - 1.8, cy - 1.8, 3.6, 3.6, fill(colour::kBoard));
          break;
        case PlanMark::Kind::kStation:
          break;
      }
    }
    for (const PlanMark& mark : plan.marks) {
      if (mark.kind != PlanMark::Kind::kStation) continue;
      const double cx = sx(mark.at.x), cy = sy(mark.at.y);
      svg.circle(cx, cy, 3.5,
                 fill("white", std::string("stroke=\"") + colour::kStation +
                                   "\" stroke-width=\"1.5\""));
      names.ink(TextBox{cx - 4, cy - 4, cx + 4, cy + 4});
    }
    // The ends first: they are named whatever the stations near them.
    if (plan.end) {
      const double ex = sx(plan.end->x), ey = sy(plan.end->y);
      svg.circle(ex, ey, 4, fill(colour::kTrack));
      place(ex, ey, "end, km " + km_text(static_cast<double>(plan.end->metre)),
            true);
    }
    if (plan.start) place(sx(plan.start->x), sy(plan.start->y), "start", true);
    for (const PlanMark& mark : plan.marks) {
      if (mark.kind != PlanMark::Kind::kStation) continue;
      place(sx(mark.at.x), sy(mark.at.y), mark.name, false);
    }
  }

  // Returns the right edge of the plan and its axes.
  double draw_plan(SvgWriter& svg, double top) {
    svg.text(page::kLeft - 60, top - 8, "Plan of the line",
             "font-size=\"14\" font-weight=\"bold\"");
    if (!scene_.plan) {
      svg.text(page::kLeft - 60, top + 20,
               "No line geometry file: the plan is not drawn.",
               std::string("fill=\"") + ink::kNote + "\"");
      plan_height_ = 40;
      return page::kLeft + 300;
    }
    const PlanView& plan = *scene_.plan;
    // Same scale on both axes, the larger span filling its side.
    const double span_x = plan.x1 - plan.x0, span_y = plan.y1 - plan.y0;
    const double scale =
        std::min(plan::kMaxWidth / span_x, plan::kMaxHeight / span_y);
    const double w = span_x * scale, h = span_y * scale;
    const double left = page::kLeft, plot_top = top + 10;
    const PlanFrame where{plan, left, plot_top, w, h, scale};
    const auto sx = [&](double x) { return where.sx(x); };
    const auto sy = [&](double y) { return where.sy(y); };
    draw_plan_axes(svg, where);

    // The track, then the margin beyond the line's end in grey.
    const auto polyline = [&](const std::vector<PlanPoint>& points,
                              const std::string& style) {
      std::string d;
      for (const PlanPoint& p : points) {
        d += (d.empty() ? "M" : " L") + n(sx(p.x)) + " " + n(sy(p.y));
      }
      if (!d.empty()) svg.path(d, style);
    };
    polyline(plan.margin,
             stroke(colour::kMargin, 1.5, "stroke-dasharray=\"5 4\""));
    polyline(plan.track,
             stroke(colour::kTrack, 2.5, "stroke-linejoin=\"round\""));

    draw_plan_marks(svg, where);
    plan_height_ = h + 50;
    return left + w;
  }

  struct LegendEntry {
    std::function<void(SvgWriter&, double, double)> symbol;
    std::string text;
  };

  // The kinds of a lane that have a line of their own, in their order.
  static void append_kinds_of(std::vector<LegendEntry>& entries,
                              CellLane lane) {
    for (const CellKindInfo& k : kCellKinds) {
      const KindSymbol* symbol = kind_symbol(k.kind);
      if (k.lane == lane && k.legend != nullptr && symbol != nullptr) {
        entries.push_back({symbol->draw, k.legend});
      }
    }
  }

  // The legend follows the picture from the top down: the plan, the
  // stations, the profile, the curves, the speeds, the lanes of objects.
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
    };
    append_kinds_of(entries, CellLane::kProfile);
    entries.insert(
        entries.end(),
        {{[](SvgWriter& s, double sx, double sy) {
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
          "slow order, with its speed"}});
    for (auto lane = static_cast<int>(CellLane::kSignals);
         lane <= static_cast<int>(CellLane::kMarks); ++lane) {
      append_kinds_of(entries, static_cast<CellLane>(lane));
    }
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

  double right_edge() const { return width_ - page::kRight; }

  const PlotScene& scene_;
  double& width_;  // the page's, widened for the timetable
  double plan_height_ = 0;
};

}  // namespace

double draw_top_row(SvgWriter& svg, const PlotScene& scene, double top,
                    double& width) {
  return TopRow(scene, width).draw(svg, top);
}

}  // namespace scenc::tools
