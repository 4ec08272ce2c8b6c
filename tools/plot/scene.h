// What the plot shows of a scenario, worked out once for both of its views
// (the SVG picture and the HTML page): the stations, the slow orders, the
// curvature of the line read from its plan, and the diagnostics of the
// compile that made it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/track_model.h"
#include "output/scenario_reader.h"
#include "tools/check/check.h"
#include "tools/inspect/scenario_set.h"

namespace scenc::tools {

// One finding about the sources, as the plot draws it: a fault or a warning
// of the check, or any other finding that converts into these fields.
struct PlotDiagnostic {
  Severity severity = Severity::kError;
  std::string check;    // a stable name: "fault-16", "unknown-keyword"
  std::string message;  // UTF-8
  std::string file;
  std::int64_t line = 0;  // 1-based; 0 when the row is not known
  std::int64_t column = 0;
  std::optional<std::int64_t> position;  // metres along the line
};

// "FILE:LINE:COLUMN", or "FILE" when the row is not known.
std::string location_text(const PlotDiagnostic& d);
// "FILE:LINE:COLUMN: error fault-16: message (at P m)".
std::string diagnostic_text(const PlotDiagnostic& d);

// Every fault and warning of the check on two sources, each pointed at the
// source that holds it (`line_source` or `train_source`, as the author named
// them).
std::vector<PlotDiagnostic> plot_diagnostics(const CheckResult& check,
                                             const std::string& line_source,
                                             const std::string& train_source);

// A run of metres of the plan that turn alike: `curve_class` is 0 on a
// straight run, 1 to 6 on a right-hand curve of that class and -1 to -6 on
// a left-hand one.
struct CurveRun {
  std::int64_t first_metre = 0;
  std::int64_t last_metre = 0;
  int curve_class = 0;
};

// The class of a turn per metre: the class whose turn is nearest on a
// logarithmic scale, signed by the side; 0 below half the gentlest class.
int curve_class_of(double turn);
// "right", "left" or "straight".
std::string curve_side(int curve_class);
// The radius in whole metres of a class (either side): 10000 ... 333.
std::int64_t curve_radius(int curve_class);
// "d3" for a right-hand curve of class 3, "s5" for a left-hand one of class
// 5: the side letter and digit of the line source's curve keywords.
std::string curve_label(int curve_class);

// The curvature of the plan from its first metre up to `last_metre`: the
// turn at metre m is the angle from the step into metre m-1 to the step
// into metre m, as the compile computed it. Metres without a point (and the
// two after one) start a new run.
std::vector<CurveRun> curve_runs(const LineProfile& profile,
                                 std::int64_t last_metre);

struct PlotStation {
  int slot = 0;
  std::string name;  // UTF-8
  std::int64_t position = 0;
  std::int64_t from = 0;
  std::int64_t to = 0;
  bool marked = false;    // a marker stands on the track for it
  std::int32_t time = 0;  // seconds of the day; 0: no timetable time
};

// A slow order on the grid: its start and end cells and its speed.
struct SlowOrderExtent {
  std::int64_t start_cell = 0;
  std::int64_t end_cell = 0;
  int speed = 0;
};

// Everything both views draw, in the author's units.
struct PlotScene {
  const ScenarioSet* scenario = nullptr;
  std::string line_name;  // UTF-8
  std::string train_name;
  double length = 1;      // metres; at least 1
  double domain_end = 1;  // the line, and the margin as far as objects go
  std::vector<PlotStation> stations;
  std::vector<SlowOrderExtent> slow_orders;
  // None when no plan was written.
  std::optional<std::vector<CurveRun>> curves;
  // Shown when the picture comes from sources: an empty list then says the
  // compile found nothing.
  std::optional<std::vector<PlotDiagnostic>> diagnostics;

  // "Line L, train T: 82.0 km, 16 stations".
  std::string title() const;
};

PlotScene make_scene(const ScenarioSet& scenario,
                     std::optional<std::vector<PlotDiagnostic>> diagnostics);

// The label an object's symbol carries on the picture, or "" for none: a
// board's highest speed, a signboard's text (blanks squeezed), an
// abbattimento mark's value.
std::string object_label(const TrackCell& cell, const SlotTable& slots);

// Kilometres with `decimals` decimals; never "-0".
std::string km_text(double metres, int decimals = 1);
// A sign's text with its runs of blanks squeezed to one.
std::string squeezed(const std::string& text);

}  // namespace scenc::tools
