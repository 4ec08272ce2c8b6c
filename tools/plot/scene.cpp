#include "tools/plot/scene.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "model/cp1252.h"
#include "model/curve_classes.h"
#include "model/faults.h"
#include "tools/decode/describe.h"

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
    if (a.cell) d.cell = *a.cell;
    d.after_stop = a.after_recovery;
    out.push_back(std::move(d));
  }
  // An author mends the errors first: they come first, each kind in the
  // check's source order.
  std::stable_sort(out.begin(), out.end(),
                   [](const PlotDiagnostic& a, const PlotDiagnostic& b) {
                     return static_cast<int>(a.severity) <
                            static_cast<int>(b.severity);
                   });
  return out;
}

std::string CompileStop::text() const {
  std::string t = "The compile stopped at " + check;
  if (!location.empty()) t += ", " + location;
  t += ": " + message + ". ";
  std::string rest = left_out;
  if (!rest.empty()) rest[0] = static_cast<char>(std::toupper(rest[0]));
  const bool several = rest.find(" and ") != std::string::npos;
  t += rest + (several ? " were not compiled, so what they place is missing"
                       : " was not compiled, so what it places is missing");
  if (position) t += "; the picture is greyed past km " + km_text(*position, 3);
  return t + ".";
}

std::vector<CompileStop> compile_stops(
    const CheckResult& check, const std::vector<PlotDiagnostic>& diagnostics) {
  std::vector<CompileStop> stops;
  for (const FaultRecord& f : check.model.fault_log) {
    if (f.ending != FaultEnding::kEndsCompile &&
        f.ending != FaultEnding::kSkipsRestOfSource) {
      continue;
    }
    CompileStop stop;
    stop.check = fault_check_name(f.code);
    if (f.position) stop.position = *f.position;
    // The diagnostic of the first compile that words this fault: at its
    // field when it points at one, else the first of its name.
    const PlotDiagnostic* said = nullptr;
    for (const PlotDiagnostic& d : diagnostics) {
      if (d.after_stop || d.check != stop.check) continue;
      if (d.line == f.field.line && d.column == f.field.column) {
        said = &d;
        break;
      }
      if (said == nullptr) said = &d;
    }
    const FaultInfo* info = find_fault(f.code);
    if (said != nullptr) {
      stop.message = said->message;
      stop.location = location_text(*said);
    } else if (info != nullptr) {
      stop.message = std::string(info->message);
    }
    SourceKind source = f.field.known() ? f.field.source : f.row.keyword.source;
    if (source == SourceKind::kNone && info != nullptr) source = info->source;
    const std::string name = source == SourceKind::kTrain ? "train" : "line";
    stop.left_out =
        source == SourceKind::kNone ? "the rest of the compile"
        : f.ending == FaultEnding::kEndsCompile && source == SourceKind::kLine
            ? "the rest of the line source and the whole train source"
            : "the rest of the " + name + " source";
    stops.push_back(std::move(stop));
  }
  return stops;
}

std::optional<PlanPoint> plan_point(const LineProfile& p, std::int64_t metre) {
  if (!p.exists()) return std::nullopt;
  const std::int64_t m =
      std::clamp<std::int64_t>(metre, 0, p.metre_count() - 1);
  if (p.tag(0, m) == LineProfile::Tag::kEmpty ||
      p.tag(1, m) == LineProfile::Tag::kEmpty) {
    return std::nullopt;
  }
  return PlanPoint{m, p.value(0, m), p.value(1, m)};
}

namespace {

// The points of a plan set metre by metre, for walks over all of them.
struct PlanMetres {
  explicit PlanMetres(const LineProfile& p)
      : tag_x(p.tags_of(0)),
        tag_y(p.tags_of(1)),
        x(p.values_of(0)),
        y(p.values_of(1)) {}
  // Whether the compile drew a point at metre `m`.
  bool has(std::int64_t m) const {
    constexpr auto kEmpty = static_cast<std::uint8_t>(LineProfile::Tag::kEmpty);
    return tag_x[m] != kEmpty && tag_y[m] != kEmpty;
  }
  const std::uint8_t* tag_x;
  const std::uint8_t* tag_y;
  const double* x;
  const double* y;
};

// The plan's metres: about this many points of the track's polyline, and a
// little room around the box of every metre.
constexpr std::int64_t kMostPlanPoints = 4000;
constexpr double kPlanPadding = 0.04;    // of the larger span
constexpr double kLeastPlanSpan = 1000;  // metres, for a very short line

PlanView plan_view(const ScenarioSet& s,
                   const std::vector<PlotStation>& stations) {
  const LineProfile& p = s.profile;
  PlanView plan;
  const std::int64_t metres = p.metre_count();
  const PlanMetres points(p);
  const double* x = points.x;
  const double* y = points.y;
  for (std::int64_t m = 0; m < metres; ++m) {
    if (!points.has(m)) continue;
    plan.x0 = std::min(plan.x0, x[m]);
    plan.x1 = std::max(plan.x1, x[m]);
    plan.y0 = std::min(plan.y0, y[m]);
    plan.y1 = std::max(plan.y1, y[m]);
  }
  // Room around the track, so that the start, the end and their labels
  // stay inside a frame.
  const double pad =
      kPlanPadding *
      std::max({plan.x1 - plan.x0, plan.y1 - plan.y0, kLeastPlanSpan});
  plan.x0 -= pad;
  plan.x1 += pad;
  plan.y0 -= pad;
  plan.y1 += pad;

  const std::int64_t end = std::min<std::int64_t>(s.line_length, metres - 1);
  const std::int64_t stride =
      std::max<std::int64_t>(1, metres / kMostPlanPoints);
  const auto sample = [&](std::int64_t from, std::int64_t to,
                          std::vector<PlanPoint>& out) {
    for (std::int64_t m = from; m <= to;
         m = (m == to ? to + 1 : std::min(m + stride, to))) {
      if (points.has(m)) out.push_back(PlanPoint{m, x[m], y[m]});
    }
  };
  sample(0, end, plan.track);
  sample(end, metres - 1, plan.margin);
  plan.start = plan_point(p, 0);
  plan.end = plan_point(p, end);

  for (const PlotStation& st : stations) {
    if (const auto at = plan_point(p, st.position)) {
      plan.marks.push_back(PlanMark{PlanMark::Kind::kStation, *at, st.name});
    }
  }
  for (std::size_t i = 0; i < s.cells.size(); ++i) {
    const std::uint8_t kind = s.cells[i].kind;
    if (kind != cell_kind::kSignal && kind != cell_kind::kSpeedBoard) continue;
    if (const auto at =
            plan_point(p, cell_position(static_cast<std::int64_t>(i)))) {
      plan.marks.push_back(PlanMark{kind == cell_kind::kSignal
                                        ? PlanMark::Kind::kSignal
                                        : PlanMark::Kind::kBoard,
                                    *at,
                                    {}});
    }
  }
  return plan;
}

}  // namespace

std::vector<HeightPoint> line_heights(const std::vector<TrackCell>& cells) {
  std::vector<HeightPoint> out;
  double height = 0;
  int current = 0;
  std::size_t i = 0;
  // A byte of 0 is a cell no gradient was written to.
  for (; i < cells.size() && cells[i].gradient != 0; ++i) {
    const int g = gradient_per_mille(cells[i]);
    if (out.empty() || g != current) {
      out.push_back(HeightPoint{static_cast<double>(i) * kCellLength, height});
      current = g;
    }
    height += g * kCellLength / 1000.0;
  }
  if (!out.empty()) {
    out.push_back(HeightPoint{static_cast<double>(i) * kCellLength, height});
  }
  return out;
}

int curve_class_of(double turn) {
  const double size = std::abs(turn);
  if (!(size >= kCurveClassTurns[0] / 2)) return 0;  // NaN reads straight
  // The nearest on a logarithmic scale: |log(size / t)| is the logarithm of
  // the larger of size / t and t / size, so that ratio tells the same
  // without a logarithm for every metre of a long line.
  const auto apart = [size](int c) {
    const double t = curve_class_turn(c);
    return std::max(size / t, t / size);
  };
  int best = 1;
  double nearest = apart(1);
  for (int c = 2; c <= 6; ++c) {
    if (const double a = apart(c); a < nearest) {
      best = c;
      nearest = a;
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
  const PlanMetres plan(profile);
  const double* x = plan.x;
  const double* y = plan.y;
  for (std::int64_t m = 2; m <= last; ++m) {
    if (!plan.has(m) || !plan.has(m - 1) || !plan.has(m - 2)) continue;
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
                     std::optional<SourceFindings> findings) {
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
    scene.plan = plan_view(s, scene.stations);
  }
  scene.heights = line_heights(s.cells);
  if (findings) {
    scene.diagnostics = std::move(findings->diagnostics);
    scene.stops = std::move(findings->stops);
    for (const CompileStop& stop : scene.stops) {
      if (!stop.position) continue;
      const double at = static_cast<double>(*stop.position);
      scene.whole_until = std::min(scene.whole_until.value_or(at), at);
    }
  }
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
