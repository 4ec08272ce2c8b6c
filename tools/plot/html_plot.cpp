#include "tools/plot/html_plot.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "tools/decode/describe.h"
#include "tools/plot/svg_writer.h"
#include "tools/plot/symbols.h"
#include "tools/plot/view_page.h"

namespace scenc::tools {
namespace {

using Json = nlohmann::ordered_json;

// One byte of every cell as runs: [value, count, value, count, ...]. The
// profile changes every few hundred metres, so a line of 20,000 cells
// takes a few hundred numbers.
Json runs_json(const std::vector<TrackCell>& cells,
               int (*value)(const TrackCell&)) {
  Json out = Json::array();
  int current = 0;
  std::int64_t count = 0;
  for (const TrackCell& c : cells) {
    const int v = value(c);
    if (count > 0 && v == current) {
      ++count;
      continue;
    }
    if (count > 0) {
      out.push_back(current);
      out.push_back(count);
    }
    current = v;
    count = 1;
  }
  if (count > 0) {
    out.push_back(current);
    out.push_back(count);
  }
  return out;
}

Json colours_json() {
  return {{"track", colour::kTrack},
          {"station", colour::kStation},
          {"stationExtent", colour::kStationExtent},
          {"signal", colour::kSignal},
          {"board", colour::kBoard},
          {"signboard", colour::kSignboard},
          {"uphill", colour::kUphill},
          {"downhill", colour::kDownhill},
          {"mountain", colour::kMountain},
          {"mountainMarker", colour::kMountainMarker},
          {"speed", colour::kSpeed},
          {"slowOrder", colour::kSlowOrder},
          {"warning", colour::kWarning},
          {"warningEdge", colour::kWarningEdge},
          {"approach", colour::kApproach},
          {"mark", colour::kMark},
          {"grid", colour::kGrid},
          {"curveRight", colour::kCurveRight},
          {"curveLeft", colour::kCurveLeft},
          {"heights", colour::kHeights},
          {"greyed", colour::kGreyed},
          {"error", severity_colour(Severity::kError)},
          {"warningDiagnostic", severity_colour(Severity::kWarning)},
          {"note", severity_colour(Severity::kNote)}};
}

// A length on the plan to a tenth of a metre: finer than any drawing of
// it, and a third of the page's bytes that full doubles would take.
double tenth(double v) { return std::round(v * 10) / 10; }

Json plan_json(const PlanView& plan) {
  const auto points = [](const std::vector<PlanPoint>& list) {
    Json out = Json::array();
    for (const PlanPoint& p : list) {
      out.push_back(p.metre);
      out.push_back(tenth(p.x));
      out.push_back(tenth(p.y));
    }
    return out;
  };
  // Each mark: [kind, metre, x, y, name]; kind 0 station, 1 signal, 2 board.
  Json marks = Json::array();
  for (const PlanMark& m : plan.marks) {
    marks.push_back({static_cast<int>(m.kind), m.at.metre, tenth(m.at.x),
                     tenth(m.at.y), m.name});
  }
  return {
      {"track", points(plan.track)},
      {"margin", points(plan.margin)},
      {"box", {tenth(plan.x0), tenth(plan.x1), tenth(plan.y0), tenth(plan.y1)}},
      {"marks", std::move(marks)}};
}

Json heights_json(const std::vector<HeightPoint>& heights) {
  Json out = Json::array();
  for (const HeightPoint& h : heights) {
    out.push_back(h.metre);
    out.push_back(std::round(h.height * 100) / 100);
  }
  return out;
}

Json scene_json(const PlotScene& scene, std::optional<std::uint64_t> live) {
  const ScenarioSet& s = *scene.scenario;
  Json stations = Json::array();
  for (const PlotStation& st : scene.stations) {
    stations.push_back(
        {{"name", st.name},
         {"position", st.position},
         {"from", st.from},
         {"to", st.to},
         {"marked", st.marked},
         {"details",
          details_text(describe_slot(
              st.slot, s.slots[static_cast<std::size_t>(st.slot)]))}});
  }
  // Every cell with an object or decoded values: [index, kind, label,
  // details], in the order of the cells.
  Json objects = Json::array();
  Json kinds = Json::object();
  for (std::size_t i = 0; i < s.cells.size(); ++i) {
    const TrackCell& c = s.cells[i];
    const auto index = static_cast<std::int64_t>(i);
    kinds[std::to_string(c.kind)] = cell_kind_name(c.kind);
    const Details details = describe_cell(index, c, &s.slots);
    if (c.kind == cell_kind::kFree && details.empty()) continue;
    objects.push_back(
        {index, c.kind, object_label(c, s.slots), details_text(details)});
  }
  Json slow_orders = Json::array();
  for (const SlowOrderExtent& o : scene.slow_orders) {
    slow_orders.push_back({o.start_cell, o.end_cell, o.speed});
  }
  Json curves = nullptr;
  if (scene.curves) {
    curves = Json::array();
    for (const CurveRun& r : *scene.curves) {
      if (r.curve_class == 0) continue;
      curves.push_back({r.first_metre, r.last_metre, r.curve_class});
    }
  }
  Json diagnostics = nullptr;
  if (scene.diagnostics) {
    diagnostics = Json::array();
    for (const PlotDiagnostic& d : *scene.diagnostics) {
      diagnostics.push_back(
          {{"severity", severity_name(d.severity)},
           {"check", d.check},
           {"message", d.message},
           {"location", location_text(d)},
           {"position", d.position ? Json(*d.position) : Json(nullptr)},
           {"cell", d.cell ? Json(*d.cell) : Json(nullptr)},
           {"afterStop", d.after_stop}});
    }
  }
  Json stops = Json::array();
  for (const CompileStop& stop : scene.stops) {
    stops.push_back(
        {{"text", stop.text()},
         {"position", stop.position ? Json(*stop.position) : Json(nullptr)}});
  }
  return {
      {"live", live.has_value()},
      {"version", live.value_or(0)},
      {"title", scene.title()},
      {"length", scene.length},
      {"domainEnd", scene.domain_end},
      {"cellCount", s.cells.size()},
      {"colours", colours_json()},
      {"stations", std::move(stations)},
      {"gradient", runs_json(s.cells, gradient_per_mille)},
      {"speed", runs_json(s.cells, speed_limit_kmh)},
      {"adhesion",
       runs_json(s.cells, [](const TrackCell& c) { return int{c.adhesion}; })},
      {"mountain",
       runs_json(s.cells, [](const TrackCell& c) { return int{c.mountain}; })},
      {"approach",
       runs_json(s.cells, [](const TrackCell& c) { return int{c.approach}; })},
      {"kinds", std::move(kinds)},
      {"objects", std::move(objects)},
      {"slowOrders", std::move(slow_orders)},
      {"curves", std::move(curves)},
      {"plan", scene.plan ? plan_json(*scene.plan) : Json(nullptr)},
      {"heights", heights_json(scene.heights)},
      {"diagnostics", std::move(diagnostics)},
      {"stops", std::move(stops)},
      {"wholeUntil",
       scene.whole_until ? Json(*scene.whole_until) : Json(nullptr)}};
}

// The page with each placeholder replaced once, in a single pass, so that a
// placeholder's text inside a name is never replaced in its turn.
std::string fill_page(
    std::string_view page,
    const std::vector<std::pair<std::string_view, std::string>>& values) {
  std::string out;
  for (std::size_t at = 0; at < page.size();) {
    bool replaced = false;
    for (const auto& [name, value] : values) {
      if (page.substr(at, name.size()) == name) {
        out += value;
        at += name.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out += page[at++];
  }
  return out;
}

// The cell kinds by the names the page's script gives them, `{signal: 1,
// end: 2, ...}`, laid out from `column` on in lines of at most 80
// columns, each further line under the first name.
std::string kinds_script(std::size_t column) {
  constexpr std::size_t kWidth = 80;
  std::vector<std::string> items;
  for (const CellKindInfo& k : kCellKinds) {
    if (k.key != nullptr) {
      items.push_back(std::string(k.key) + ": " + std::to_string(k.kind));
    }
  }
  std::string out = "{";
  std::size_t at = column + 1;
  for (std::size_t i = 0; i < items.size(); ++i) {
    // What follows the item on its line: a comma, or the closing "};".
    const std::size_t after = i + 1 < items.size() ? 1 : 2;
    if (i > 0 && at + 2 + items[i].size() + after > kWidth) {
      out += ",\n" + std::string(column + 1, ' ');
      at = column + 1;
    } else if (i > 0) {
      out += ", ";
      at += 2;
    }
    out += items[i];
    at += items[i].size();
  }
  return out + "}";
}

// The column the page's placeholder `name` stands in.
std::size_t column_of(std::string_view page, std::string_view name) {
  const std::size_t at = page.find(name);
  const std::size_t line = page.rfind('\n', at);
  return line == std::string_view::npos ? at : at - line - 1;
}

}  // namespace

std::string plot_scene_json(const PlotScene& scene,
                            std::optional<std::uint64_t> live) {
  // Names are bytes as the author wrote them; the rare byte that is not
  // UTF-8 is replaced rather than failing. A "<" inside a string could end
  // the script element early: JSON may spell it \u003c.
  // JSON writes control characters escaped, but not the non-characters an
  // author's UTF-8 may hold.
  const std::string data = xml_characters(
      scene_json(scene, live)
          .dump(-1, ' ', false, Json::error_handler_t::replace));
  std::string safe;
  safe.reserve(data.size());
  for (const char c : data) {
    if (c == '<') {
      safe += "\\u003c";
    } else {
      safe += c;
    }
  }
  return safe;
}

std::string plot_page(const PlotScene& scene, const std::string& json) {
  static const std::string kinds =
      kinds_script(column_of(kPlotViewPage, "@KINDS@"));
  return fill_page(kPlotViewPage, {{"@TITLE@", xml_escape(scene.title())},
                                   {"@KINDS@", kinds},
                                   {"@DATA@", json}});
}

std::string render_plot_html(const PlotScene& scene,
                             std::optional<std::uint64_t> live) {
  return plot_page(scene, plot_scene_json(scene, live));
}

}  // namespace scenc::tools
