// What the plot shows of a scenario, worked out once for both of its views
// (the SVG picture and the HTML page): the stations, the slow orders, the
// plan of the line and its curvature, the heights its gradients build, and
// the diagnostics of the compile that made it, with where that compile
// stopped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/track_model.h"
#include "output/scenario_reader.h"
#include "tools/check/check.h"
#include "tools/decode/scenario_set.h"

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
  // The grid cell the diagnostic names (a taken cell), where it names one.
  std::optional<std::int64_t> cell;
  // Found by compiling again past a fault that ended a stage: the row it
  // names is not in the picture, which shows the compile as given.
  bool after_stop = false;
};

// "FILE:LINE:COLUMN", or "FILE" when the row is not known.
std::string location_text(const PlotDiagnostic& d);
// "FILE:LINE:COLUMN: error fault-16: message (at P m)".
std::string diagnostic_text(const PlotDiagnostic& d);

// Every fault and warning of the check on two sources, each pointed at the
// source that holds it (`line_source` or `train_source`, as the author named
// them): the errors first, then the warnings, each in source order.
std::vector<PlotDiagnostic> plot_diagnostics(const CheckResult& check,
                                             const std::string& line_source,
                                             const std::string& train_source);

// A fault that ended the compile of a source, or skipped the rest of it:
// what comes after its row in the sources is not in the picture.
struct CompileStop {
  std::string check;     // "fault-22"
  std::string message;   // as the diagnostic words it
  std::string location;  // "FILE:LINE:COLUMN"
  // Where the fault stands on the line; none for a fault without a place.
  std::optional<std::int64_t> position;
  std::string left_out;  // "the rest of the train source"

  // One sentence for the banner over the picture.
  std::string text() const;
};

// The faults of the compile as given (the model `check` kept) that ended a
// source's compile, in the order raised, worded as their diagnostics.
std::vector<CompileStop> compile_stops(
    const CheckResult& check, const std::vector<PlotDiagnostic>& diagnostics);

// What a compile of two sources said about them.
struct SourceFindings {
  std::vector<PlotDiagnostic> diagnostics;
  std::vector<CompileStop> stops;
};

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

// A point of the plan: a metre along the line and where the track stands
// there, x and y in metres.
struct PlanPoint {
  std::int64_t metre = 0;
  double x = 0;
  double y = 0;
};

// Something on the track drawn on the plan as well.
struct PlanMark {
  enum class Kind { kStation, kSignal, kBoard };
  Kind kind = Kind::kStation;
  PlanPoint at;
  std::string name;  // a station's name; empty for the others
};

// The plan as both views draw it: the track as a polyline of a few
// thousand points (every metre would be far too much for a long line), the
// run-out past the line's end apart, the box every metre of it fits in with
// a little room around, and the objects on it.
struct PlanView {
  std::vector<PlanPoint> track;   // metre 0 to the end of the line
  std::vector<PlanPoint> margin;  // from the end of the line on
  double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  std::optional<PlanPoint> start, end;
  std::vector<PlanMark> marks;  // stations, then signals and boards
};

// The point of the plan at `metre` (kept to the plan's metres), where the
// compile drew one.
std::optional<PlanPoint> plan_point(const LineProfile& profile,
                                    std::int64_t metre);

// A point of the line's heights: the track climbs each cell's gradient over
// its 50 m, from 0 m at the start of the line.
struct HeightPoint {
  double metre = 0;
  double height = 0;
};

// The heights at each change of gradient, up to the last cell that carries
// one (cells past the fills carry none).
std::vector<HeightPoint> line_heights(const std::vector<TrackCell>& cells);

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
  std::optional<PlanView> plan;
  std::vector<HeightPoint> heights;
  // Shown when the picture comes from sources: an empty list then says the
  // compile found nothing.
  std::optional<std::vector<PlotDiagnostic>> diagnostics;
  std::vector<CompileStop> stops;
  // The picture is whole only before this place: the least position of a
  // stop.
  std::optional<double> whole_until;

  // "Line L, train T: 82.0 km, 16 stations".
  std::string title() const;
};

// `findings`: what the compile said, when the picture comes from sources.
PlotScene make_scene(const ScenarioSet& scenario,
                     std::optional<SourceFindings> findings);

// The label an object's symbol carries on the picture, or "" for none: a
// board's highest speed, a signboard's text (blanks squeezed), an
// abbattimento mark's value.
std::string object_label(const TrackCell& cell, const SlotTable& slots);

// Kilometres with `decimals` decimals; never "-0".
std::string km_text(double metres, int decimals = 1);
// A sign's text with its runs of blanks squeezed to one.
std::string squeezed(const std::string& text);

}  // namespace scenc::tools
