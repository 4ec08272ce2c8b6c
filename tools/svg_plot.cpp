#include "tools/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "model/cp1252.h"
#include "tools/describe.h"

namespace scenc::tools {
namespace {

constexpr double kLeft = 110;  // room for the lane names and y axes
constexpr double kRight = 40;
constexpr const char* kFont = "DejaVu Sans, Arial, Helvetica, sans-serif";

// Colours of the picture, shared by the drawings and the legend.
constexpr const char* kTrack = "#1f2d3d";
constexpr const char* kMargin = "#9aa5b1";
constexpr const char* kStation = "#1f2d3d";
constexpr const char* kSignal = "#c0392b";
constexpr const char* kBoard = "#1f5fa8";
constexpr const char* kSignboard = "#7d3c98";
constexpr const char* kUphill = "#d98c3a";
constexpr const char* kDownhill = "#3a9d5d";
constexpr const char* kMountain = "#c8b08a";
constexpr const char* kSpeed = "#1f5fa8";
constexpr const char* kSlowOrder = "#e03131";
constexpr const char* kWarning = "#f2c200";
constexpr const char* kMark = "#e67700";
constexpr const char* kGrid = "#e3e7eb";

std::string n(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.1f", v);
  return b;
}

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

std::string escape(const std::string& utf8) {
  std::string out;
  for (const char c : utf8) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        // Control characters are not allowed in XML 1.0 text.
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
    }
  }
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

class Svg {
 public:
  void line(double x1, double y1, double x2, double y2,
            const std::string& style) {
    out_ += "<line x1=\"" + n(x1) + "\" y1=\"" + n(y1) + "\" x2=\"" + n(x2) +
            "\" y2=\"" + n(y2) + "\" " + style + "/>\n";
  }
  void rect(double x, double y, double w, double h, const std::string& style) {
    out_ += "<rect x=\"" + n(x) + "\" y=\"" + n(y) + "\" width=\"" +
            n(std::max(w, 0.0)) + "\" height=\"" + n(std::max(h, 0.0)) + "\" " +
            style + "/>\n";
  }
  void circle(double x, double y, double r, const std::string& style) {
    out_ += "<circle cx=\"" + n(x) + "\" cy=\"" + n(y) + "\" r=\"" + n(r) +
            "\" " + style + "/>\n";
  }
  void path(const std::string& d, const std::string& style) {
    out_ += "<path d=\"" + d + "\" " + style + "/>\n";
  }
  // `utf8` is escaped here; `attributes` are written as given.
  void text(double x, double y, const std::string& utf8,
            const std::string& attributes = {}) {
    out_ += "<text x=\"" + n(x) + "\" y=\"" + n(y) + "\"" +
            (attributes.empty() ? "" : " " + attributes) + ">" + escape(utf8) +
            "</text>\n";
  }
  // A group whose title a viewer shows on hovering over its drawing.
  void begin_group(const std::string& title) {
    out_ += "<g><title>" + escape(title) + "</title>\n";
  }
  void end_group() { out_ += "</g>\n"; }
  const std::string& str() const { return out_; }

 private:
  std::string out_;
};

std::string stroke(const char* colour, double width,
                   const std::string& extra = {}) {
  return std::string("stroke=\"") + colour + "\" stroke-width=\"" + n(width) +
         "\" fill=\"none\"" + (extra.empty() ? "" : " " + extra);
}
std::string fill(const char* colour, const std::string& extra = {}) {
  return std::string("fill=\"") + colour + "\"" +
         (extra.empty() ? "" : " " + extra);
}

// The symbols, drawn centred on (x, y), shared by the lanes and the legend.
void station_symbol(Svg& s, double x, double y, bool with_marker) {
  s.path("M" + n(x) + " " + n(y - 6) + " L" + n(x + 5.5) + " " + n(y + 4) +
             " L" + n(x - 5.5) + " " + n(y + 4) + " Z",
         with_marker ? fill(kStation)
                     : fill("white", std::string("stroke=\"") + kStation +
                                         "\" stroke-width=\"1.4\""));
}
void signal_symbol(Svg& s, double x, double y) {
  s.line(x, y + 7, x, y - 3, stroke(kTrack, 1.2));
  s.circle(x, y - 5, 3.2, fill(kSignal));
}
void board_symbol(Svg& s, double x, double y) {
  s.rect(x - 4, y - 4, 8, 8, fill(kBoard));
}
void signboard_symbol(Svg& s, double x, double y) {
  s.rect(x - 6, y - 3.5, 12, 7, fill(kSignboard));
}
void warning_symbol(Svg& s, double x, double y) {
  s.path("M" + n(x) + " " + n(y + 6) + " L" + n(x + 6) + " " + n(y - 5) + " L" +
             n(x - 6) + " " + n(y - 5) + " Z",
         fill(kWarning, "stroke=\"#5c4400\" stroke-width=\"1\""));
}
void approach_symbol(Svg& s, double x, double y) {
  s.line(x, y - 5, x, y + 5, stroke("#868e96", 1.2));
}
void mark_symbol(Svg& s, double x, double y) {
  s.line(x - 4, y - 4, x + 4, y + 4, stroke(kMark, 2));
  s.line(x - 4, y + 4, x + 4, y - 4, stroke(kMark, 2));
}
void mountain_symbol(Svg& s, double x, double y) {
  s.path("M" + n(x - 6) + " " + n(y + 4) + " L" + n(x) + " " + n(y - 5) + " L" +
             n(x + 6) + " " + n(y + 4) + " Z",
         fill("#8d6e3f"));
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
      if (slot_role(k, slot) == "station") {
        stations_.push_back(Station{k, cp1252_to_utf8(slot.name), &slot});
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
    Svg body;
    double y = 56;
    const double top_height = draw_top_row(body, y);
    y += top_height + 40;
    y = draw_station_strip(body, y);
    y = draw_gradient_panel(body, y + 26);
    y = draw_speed_panel(body, y + 28);
    y = draw_object_lanes(body, y + 24);
    y = draw_km_axis(body, y);
    const double height = y + 20;

    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
        n(width_) + "\" height=\"" + n(height) + "\" viewBox=\"0 0 " +
        n(width_) + " " + n(height) + "\" font-family=\"" + kFont +
        "\" font-size=\"12\">\n";
    out += "<title>" + escape(title()) + "</title>\n";
    out += "<rect x=\"0\" y=\"0\" width=\"" + n(width_) + "\" height=\"" +
           n(height) + "\" fill=\"white\"/>\n";
    Svg head;
    head.text(kLeft, 34, title(), "font-size=\"20\" font-weight=\"bold\"");
    out += head.str() + guides_ + body.str() + "</svg>\n";
    return out;
  }

 private:
  std::string title() const {
    const std::string line = cp1252_to_utf8(s_.slots[kLineSlot].name);
    const std::string train = cp1252_to_utf8(s_.slots[kTrainSlot].name);
    return "Line " + line + ", train " + train + ": " + km_text(length_) +
           " km, " + std::to_string(stations_.size()) + " stations";
  }

  // The x of a place along the line, kept inside the panels.
  double px(double metres) const {
    return kLeft + std::clamp(metres, 0.0, domain_end_) / domain_end_ *
                       (width_ - kLeft - kRight);
  }

  // --- top row: plan, legend, timetable ---------------------------------

  double draw_top_row(Svg& svg, double top) {
    const double plan_right = draw_plan(svg, top);
    // The timetable keeps to the right edge, the legend between it and the
    // plan, leaving room for the station names beside the plan.
    const double columns =
        std::ceil(static_cast<double>(stations_.size()) / 24.0);
    const double table_width = std::max(columns, 1.0) * 270;
    const double legend_x =
        std::max(plan_right + 190, width_ - kRight - table_width - 360);
    const double legend_height = draw_legend(svg, legend_x, top);
    const auto [table_right, table_height] =
        draw_timetable(svg, legend_x + 340, top);
    width_ = std::max(width_, table_right + kRight);
    return std::max({plan_height_, legend_height, table_height});
  }

  // Returns the right edge of the plan and its axes.
  double draw_plan(Svg& svg, double top) {
    svg.text(kLeft - 60, top - 8, "Plan of the line",
             "font-size=\"14\" font-weight=\"bold\"");
    const LineProfile& p = s_.profile;
    if (!s_.geometry_path || !p.exists()) {
      svg.text(kLeft - 60, top + 20,
               "No line geometry file: the plan is not drawn.",
               "fill=\"#555\"");
      plan_height_ = 40;
      return kLeft + 300;
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
    const double pad = 0.04 * std::max({x1 - x0, y1 - y0, 1000.0});
    x0 -= pad;
    x1 += pad;
    y0 -= pad;
    y1 += pad;
    // Same scale on both axes, the larger span filling its side.
    const double span_x = x1 - x0, span_y = y1 - y0;
    const double scale = std::min(700.0 / span_x, 600.0 / span_y);
    const double w = span_x * scale, h = span_y * scale;
    const double left = kLeft, plot_top = top + 10;
    const auto sx = [&](double x) { return left + (x - x0) * scale; };
    const auto sy = [&](double y) { return plot_top + (y1 - y) * scale; };

    // Grid and axes in km.
    const double step = nice_step(std::max(span_x, span_y), 8);
    for (double g = std::ceil(x0 / step) * step; g <= x1 + 1e-6; g += step) {
      svg.line(sx(g), plot_top, sx(g), plot_top + h, stroke(kGrid, 1));
      svg.text(sx(g), plot_top + h + 16, km_text(g, 0),
               "text-anchor=\"middle\" font-size=\"11\"");
    }
    for (double g = std::ceil(y0 / step) * step; g <= y1 + 1e-6; g += step) {
      svg.line(left, sy(g), left + w, sy(g), stroke(kGrid, 1));
      svg.text(left - 6, sy(g) + 4, km_text(g, 0),
               "text-anchor=\"end\" font-size=\"11\"");
    }
    svg.rect(left, plot_top, w, h, stroke("#adb5bd", 1));
    svg.text(left + w / 2, plot_top + h + 34, "x (km)",
             "text-anchor=\"middle\"");
    svg.text(left - 44, plot_top + h / 2, "y (km)",
             "text-anchor=\"middle\" transform=\"rotate(-90 " + n(left - 44) +
                 " " + n(plot_top + h / 2) + ")\"");

    // The track, then the margin beyond the line's end in grey. Every
    // metre would be too much SVG for a long line: a few thousand points.
    const std::int64_t end = std::min<std::int64_t>(s_.line_length, metres - 1);
    const std::int64_t stride = std::max<std::int64_t>(1, metres / 4000);
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
    polyline(end, metres - 1, stroke(kMargin, 1.5, "stroke-dasharray=\"5 4\""));
    polyline(0, end, stroke(kTrack, 2.5, "stroke-linejoin=\"round\""));

    // Stations, the start and the end on the plan, each named beside its
    // point where the name does not cover another.
    struct Box {
      double x0, y0, x1, y1;
    };
    std::vector<Box> taken;
    const auto place = [&](double cx, double cy, const std::string& label,
                           const std::string& style) {
      const double lw = 6.8 * static_cast<double>(label.size()), lh = 12;
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
                 fill("white", std::string("stroke=\"") + kStation +
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
      svg.circle(ex, ey, 4, fill(kTrack));
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

  double draw_legend(Svg& svg, double x, double top) {
    svg.text(x, top - 8, "Legend", "font-size=\"14\" font-weight=\"bold\"");
    struct Entry {
      std::function<void(Svg&, double, double)> symbol;
      std::string text;
    };
    const std::vector<Entry> entries = {
        {[](Svg& s, double sx, double sy) {
           s.line(sx - 10, sy, sx + 10, sy, stroke(kTrack, 2.5));
         },
         "track (plan); grey dashes: margin past the end"},
        {[](Svg& s, double sx, double sy) { station_symbol(s, sx, sy, true); },
         "station, marked on the track"},
        {[](Svg& s, double sx, double sy) { station_symbol(s, sx, sy, false); },
         "station without a track marker"},
        {[](Svg& s, double sx, double sy) {
           s.rect(sx - 10, sy - 6, 9, 12, fill(kUphill));
           s.rect(sx + 1, sy - 2, 9, 8, fill(kDownhill));
         },
         "gradient up / down (per mille)"},
        {[](Svg& s, double sx, double sy) {
           s.rect(sx - 10, sy - 6, 20, 12, fill(kMountain));
         },
         "mountain (type in the band)"},
        {mountain_symbol, "mountain marker"},
        {[](Svg& s, double sx, double sy) {
           s.line(sx - 10, sy, sx + 10, sy, stroke(kSpeed, 2));
         },
         "line speed limit (km/h)"},
        {[](Svg& s, double sx, double sy) {
           s.rect(sx - 10, sy - 6, 20, 12,
                  fill(kSlowOrder, "fill-opacity=\"0.35\""));
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
      y += 22;
    }
    return y - top;
  }

  // The stations with their times, in columns of at most 24.
  std::pair<double, double> draw_timetable(Svg& svg, double x, double top) {
    svg.text(x, top - 8, "Stations", "font-size=\"14\" font-weight=\"bold\"");
    constexpr std::size_t kRows = 24;
    double right = x;
    for (std::size_t i = 0; i < stations_.size(); ++i) {
      const Station& st = stations_[i];
      const double cx = x + static_cast<double>(i / kRows) * 270;
      const double cy = top + 14 + static_cast<double>(i % kRows) * 18;
      const std::int32_t t = st.data->num4;
      svg.text(cx, cy, km_text(st.data->num3),
               "font-size=\"11\" fill=\"#555\"");
      svg.text(cx + 44, cy, st.name, "font-size=\"11\"");
      svg.text(cx + 260, cy, t == 0 ? "" : clock_text(t),
               "font-size=\"11\" text-anchor=\"end\"");
      right = std::max(right, cx + 260);
    }
    svg.text(x,
             top + 14 +
                 static_cast<double>(std::min(stations_.size(), kRows)) * 18 +
                 4,
             "km, name, timetable time", "font-size=\"10\" fill=\"#777\"");
    return {right,
            30 + static_cast<double>(std::min(stations_.size(), kRows)) * 18};
  }

  // --- profile along the line -------------------------------------------

  // A panel frame with its title; faint station guides run through it.
  void frame(Svg& svg, double top, double height, const std::string& name) {
    svg.rect(kLeft, top, width_ - kLeft - kRight, height, stroke("#adb5bd", 1));
    svg.text(kLeft, top - 6, name, "font-size=\"13\" font-weight=\"bold\"");
    for (double g = 0; g <= domain_end_ + 1e-6; g += km_step()) {
      svg.line(px(g), top, px(g), top + height, stroke(kGrid, 1));
    }
    for (const Station& st : stations_) {
      guides_ += "<line x1=\"" + n(px(st.data->num3)) + "\" y1=\"" + n(top) +
                 "\" x2=\"" + n(px(st.data->num3)) + "\" y2=\"" +
                 n(top + height) +
                 "\" stroke=\"#ced4da\" stroke-width=\"1\" "
                 "stroke-dasharray=\"2 3\"/>\n";
    }
  }

  double km_step() const { return nice_step(domain_end_, 16); }

  // Station names above their places, written slanted so that close
  // stations stay readable.
  double draw_station_strip(Svg& svg, double top) {
    double longest = 0;
    for (const Station& st : stations_) {
      longest = std::max(longest, 6.6 * static_cast<double>(st.name.size()));
    }
    const double strip = std::min(longest * 0.64 + 24, 170.0);
    const double lane = top + strip;
    svg.text(kLeft - 8, lane + 4, "stations",
             "text-anchor=\"end\" font-size=\"11\" fill=\"#555\"");
    svg.line(kLeft, lane, width_ - kRight, lane, stroke("#ced4da", 1));
    for (const Station& st : stations_) {
      const double from = px(st.data->num1), to = px(st.data->num2);
      svg.rect(from, lane + 7, std::max(to - from, 2.0), 3, fill("#868e96"));
      const double x = px(st.data->num3);
      station_symbol(svg, x, lane, st.data->kind < 25);
      svg.text(x + 2, lane - 10, st.name,
               "font-size=\"11\" transform=\"rotate(-40 " + n(x + 2) + " " +
                   n(lane - 10) + ")\"");
    }
    return lane + 16;
  }

  double draw_gradient_panel(Svg& svg, double top) {
    const double height = 110;
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
               fill(kMountain, "fill-opacity=\"0.6\""));
      svg.text(x0 + 2, top + 11, "type " + std::to_string(r.value),
               "font-size=\"9\" fill=\"#6b5530\"");
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
               fill(r.value > 0 ? kUphill : kDownhill));
    }
    for (std::size_t i = 0; i < s_.cells.size(); ++i) {
      if (s_.cells[i].kind == cell_kind::kMountainMarker) {
        mountain_symbol(svg,
                        px(static_cast<double>(
                            cell_position(static_cast<std::int64_t>(i)))),
                        top + height - 6);
      }
    }
    svg.line(kLeft, gy(0), width_ - kRight, gy(0), stroke("#495057", 1));
    for (double g = -g_max; g <= g_max + 1e-6; g += g_step) {
      svg.text(kLeft - 6, gy(g) + 4, std::to_string(static_cast<int>(g)),
               "text-anchor=\"end\" font-size=\"11\"");
    }
    axis_title(svg, top, height, "\u2030");
    return top + height;
  }

  void axis_title(Svg& svg, double top, double height,
                  const std::string& unit) {
    const double x = kLeft - 48, y = top + height / 2;
    svg.text(x, y, unit,
             "text-anchor=\"middle\" font-size=\"11\" fill=\"#555\" "
             "transform=\"rotate(-90 " +
                 n(x) + " " + n(y) + ")\"");
  }

  double draw_speed_panel(Svg& svg, double top) {
    const double height = 150;
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
      svg.line(kLeft, vy(v), width_ - kRight, vy(v), stroke(kGrid, 1));
      svg.text(kLeft - 6, vy(v) + 4, std::to_string(static_cast<int>(v)),
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
      svg.rect(x0, top, w, height, fill(kSlowOrder, "fill-opacity=\"0.35\""));
      svg.line(x0, vy(speed), x0 + w, vy(speed), stroke(kSlowOrder, 3));
      const std::string label = std::to_string(speed) + " km/h";
      if (labels.row(x0 + w + 3,
                     x0 + w + 3 + 7.0 * static_cast<double>(label.size())) ==
          0) {
        svg.text(x0 + w + 3, vy(speed) - 4, label,
                 std::string("font-size=\"11\" font-weight=\"bold\" fill=\"") +
                     kSlowOrder + "\"");
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
    if (!d.empty()) svg.path(d, stroke(kSpeed, 2, "stroke-linejoin=\"round\""));
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

  double draw_object_lanes(Svg& svg, double top) {
    const double lane = 30;
    const char* names[] = {"signals", "speed boards", "signboards",
                           "slow orders", "abbattimento"};
    const int lanes = 5;
    const double height = lane * lanes;
    frame(svg, top, height, "Along the track");
    for (int k = 0; k < lanes; ++k) {
      const double y = top + lane * k + lane / 2;
      svg.text(kLeft - 8, y + 4, names[k],
               "text-anchor=\"end\" font-size=\"11\" fill=\"#555\"");
      if (k > 0)
        svg.line(kLeft, top + lane * k, width_ - kRight, top + lane * k,
                 stroke("#e9ecef", 1));
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
                kBoard);
          break;
        case cell_kind::kSignboard:
          hovered([&] { signboard_symbol(svg, x, lane_y(2)); });
          if (c.value1 >= 0 && c.value1 < kSlotCount) {
            label(sign_labels, x, 2,
                  squeezed(cp1252_to_utf8(
                      s_.slots[static_cast<std::size_t>(c.value1)].name)),
                  kSignboard);
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
                kMark);
          break;
        default:
          break;
      }
    }
    for_each_slow_order([&](std::int64_t start, std::int64_t end_cell, int) {
      const double x0 = px(static_cast<double>(cell_position(start)));
      const double x1 = px(static_cast<double>(cell_position(end_cell)));
      svg.rect(x0, lane_y(3) - 5, std::max(x1 - x0, 4.0), 10, fill(kSlowOrder));
    });
    return top + height;
  }

  double draw_km_axis(Svg& svg, double top) {
    for (double g = 0; g <= domain_end_ + 1e-6; g += km_step()) {
      svg.line(px(g), top, px(g), top + 5, stroke("#495057", 1));
      svg.text(px(g), top + 18,
               km_text(g, g >= 10000 || km_step() >= 1000 ? 0 : 1),
               "text-anchor=\"middle\" font-size=\"11\"");
    }
    if (domain_end_ > length_ + 1) {
      svg.line(px(length_), top - 4, px(length_), top + 5, stroke(kSignal, 2));
      svg.text(px(length_), top + 32, "end of the line",
               std::string("text-anchor=\"middle\" font-size=\"10\" fill=\"") +
                   kSignal + "\"");
    }
    svg.text((kLeft + width_ - kRight) / 2, top + 38,
             "distance along the line (km)", "text-anchor=\"middle\"");
    return top + 44;
  }

  const ScenarioSet& s_;
  std::vector<Station> stations_;
  double length_ = 1;
  double domain_end_ = 1;
  double width_ = 1400;
  double plan_height_ = 0;
  std::string guides_;  // station guides, drawn under every panel
};

}  // namespace

std::string render_plot_svg(const ScenarioSet& scenario) {
  return PlotBuilder(scenario).build();
}

}  // namespace scenc::tools
