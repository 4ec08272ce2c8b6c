#include "tools/plot/scene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "model/cp1252.h"
#include "model/curve_classes.h"
#include "model/faults.h"
#include "tools/inspect/describe.h"

namespace scenc::tools {

std::string location_text(const PlotDiagnostic& d) {
  if (d.line <= 0) return d.file;
  return d.file + ":" + std::to_string(d.line) + ":" + std::to_string(d.column);
}

std::string diagnostic_text(const PlotDiagnostic& d) {
  std::string text = location_text(d) + ": " + severity_name(d.severity) + " " +
                     d.check + ": " + d.message;
  if (d.position) text += " (at " + std::to_string(*d.position) + " m)";
  return text;
}

std::vector<PlotDiagnostic> plot_diagnostics(const CheckResult& check,
                                             const std::string& line_source,
                                             const std::string& train_source) {
  std::vector<PlotDiagnostic> out;
  for (const AuthorDiagnostic& a : check.diagnostics) {
    PlotDiagnostic d;
    d.severity = a.severity;
    d.check = a.check;
    d.message = a.message;
    d.file = a.source == SourceKind::kTrain ? train_source : line_source;
    if (a.line > 0) {
      d.line = a.line;
      d.column = a.column;
    }
    if (a.position) d.position = *a.position;
    out.push_back(std::move(d));
  }
  return out;
}

int curve_class_of(double turn) {
  const double size = std::abs(turn);
  if (!(size >= kCurveClassTurns[0] / 2)) return 0;  // NaN reads straight
  int best = 1;
  for (int c = 2; c <= 6; ++c) {
    if (std::abs(std::log(size / curve_class_turn(c))) <
        std::abs(std::log(size / curve_class_turn(best)))) {
      best = c;
    }
  }
  return turn > 0 ? best : -best;
}

std::string curve_side(int curve_class) {
  return curve_class > 0 ? "right" : curve_class < 0 ? "left" : "straight";
}

std::int64_t curve_radius(int curve_class) {
  if (curve_class == 0) return 0;
  return std::llround(1.0 / curve_class_turn(std::abs(curve_class)));
}

std::string curve_label(int curve_class) {
  if (curve_class == 0) return "0";
  return (curve_class > 0 ? "d" : "s") + std::to_string(std::abs(curve_class));
}

std::vector<CurveRun> curve_runs(const LineProfile& profile,
                                 std::int64_t last_metre) {
  std::vector<CurveRun> runs;
  if (!profile.exists()) return runs;
  const std::int64_t last = std::min(last_metre, profile.metre_count() - 1);
  const std::uint8_t* tag_x = profile.tags_of(0);
  const std::uint8_t* tag_y = profile.tags_of(1);
  const double* x = profile.values_of(0);
  const double* y = profile.values_of(1);
  const auto has = [&](std::int64_t m) {
    return tag_x[m] != static_cast<std::uint8_t>(LineProfile::Tag::kEmpty) &&
           tag_y[m] != static_cast<std::uint8_t>(LineProfile::Tag::kEmpty);
  };
  for (std::int64_t m = 2; m <= last; ++m) {
    if (!has(m) || !has(m - 1) || !has(m - 2)) continue;
    // The compile turns the step (dx, dy) by t into (dx + t dy, dy - t dx):
    // the cross product of the two steps is -t (dx^2 + dy^2).
    const double ax = x[m - 1] - x[m - 2], ay = y[m - 1] - y[m - 2];
    const double bx = x[m] - x[m - 1], by = y[m] - y[m - 1];
    const double dot = ax * bx + ay * by;
    const double turn = dot > 0 ? -(ax * by - ay * bx) / dot : 0.0;
    const int c = curve_class_of(turn);
    if (!runs.empty() && runs.back().curve_class == c &&
        runs.back().last_metre == m - 1) {
      runs.back().last_metre = m;
    } else {
      runs.push_back(CurveRun{m, m, c});
    }
  }
  return runs;
}

std::string PlotScene::title() const {
  return "Line " + line_name + ", train " + train_name + ": " +
         km_text(length) + " km, " + std::to_string(stations.size()) +
         " stations";
}

PlotScene make_scene(const ScenarioSet& s,
                     std::optional<std::vector<PlotDiagnostic>> diagnostics) {
  PlotScene scene;
  scene.scenario = &s;
  scene.line_name = cp1252_to_utf8(s.slots[kLineSlot].name);
  scene.train_name = cp1252_to_utf8(s.slots[kTrainSlot].name);
  for (int k = 1; k <= kFirstSignboardSlot; ++k) {
    const ScenarioSlot& slot = s.slots[static_cast<std::size_t>(k)];
    if (slot_role(k, slot) != SlotRole::kStation) continue;
    // A station of type 25 or more has no marker on the track.
    scene.stations.push_back(PlotStation{k, cp1252_to_utf8(slot.name),
                                         slot.num3, slot.num1, slot.num2,
                                         slot.kind < 25, slot.num4});
  }
  scene.length = static_cast<double>(std::max<std::int64_t>(s.line_length, 1));
  // The axis covers the line, and the margin beyond it only as far as an
  // object stands there.
  double last_object = 0;
  const auto count = static_cast<std::int64_t>(s.cells.size());
  for (std::int64_t i = 0; i < count; ++i) {
    const TrackCell& c = s.cells[static_cast<std::size_t>(i)];
    if (c.kind != cell_kind::kFree) {
      last_object =
          std::max(last_object, static_cast<double>(cell_position(i)));
    }
    if (c.kind != cell_kind::kSlowOrderStart) continue;
    std::int64_t end = i;
    while (end + 1 < count && s.cells[static_cast<std::size_t>(end)].kind !=
                                  cell_kind::kSlowOrderEnd)
      ++end;
    if (s.cells[static_cast<std::size_t>(end)].kind != cell_kind::kSlowOrderEnd)
      end = i;
    scene.slow_orders.push_back(SlowOrderExtent{i, end, c.value1});
  }
  for (const PlotStation& st : scene.stations) {
    last_object = std::max(last_object, static_cast<double>(st.to));
  }
  scene.domain_end = std::max(scene.length, last_object + 100);
  if (s.geometry_path && s.profile.exists()) {
    scene.curves = curve_runs(
        s.profile, static_cast<std::int64_t>(std::ceil(scene.domain_end)));
  }
  scene.diagnostics = std::move(diagnostics);
  return scene;
}

std::string object_label(const TrackCell& c, const SlotTable& slots) {
  switch (c.kind) {
    case cell_kind::kSpeedBoard:
      return std::to_string(
          std::max({c.value1 / 100, c.value2 / 100, c.value3 / 100}) * 5);
    case cell_kind::kSignboard:
      if (c.value1 < 0 || c.value1 >= kSlotCount) return "";
      return squeezed(
          cp1252_to_utf8(slots[static_cast<std::size_t>(c.value1)].name));
    case cell_kind::kAbbattimento:
      return std::to_string(c.value1);
    case cell_kind::kAbbattimentoZero:
      return "0";
    default:
      return "";
  }
}

std::string km_text(double metres, int decimals) {
  char b[32];
  std::snprintf(b, sizeof b, "%.*f", decimals, metres / 1000.0);
  std::string text = b;
  // A value that rounds to zero from below would print as "-0".
  if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos)
    text.erase(0, 1);
  return text;
}

std::string squeezed(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace scenc::tools
