#include "tools/plot_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "plot_fixture.h"
#include "scenario_fixture.h"
#include "svg_text_boxes.h"
#include "tools/decode/describe.h"
#include "tools/decode/scenario_set.h"
#include "tools/plot/from_sources.h"
#include "tools/plot/html_plot.h"
#include "tools/plot/label_placement.h"
#include "tools/plot/svg_plot.h"

namespace scenc::tools {
namespace {

namespace fs = std::filesystem;
using scenc::testing::TemporaryDirectory;

using scenc::testing::find_on_path;
using scenc::testing::read_file;

// Checks that `svg` is well-formed XML and that a real renderer draws it.
void expect_renders(const std::string& svg, const fs::path& dir) {
  const fs::path file = dir / "check.svg";
  std::ofstream(file, std::ios::binary) << svg;
  if (!find_on_path("xmllint").empty()) {
    EXPECT_EQ(std::system(("xmllint --noout " + file.string()).c_str()), 0);
  }
  if (find_on_path("rsvg-convert").empty())
    GTEST_SKIP() << "rsvg-convert is not installed";
  const fs::path png = dir / "check.png";
  ASSERT_EQ(
      std::system(
          ("rsvg-convert -o " + png.string() + " " + file.string()).c_str()),
      0);
  EXPECT_GT(fs::file_size(png), 1000u);
}

TEST(Plot, DrawsTheHandMadeScenarioFromItsDirectory) {
  TemporaryDirectory dir("plot_test");
  scenc::testing::write_files(scenc::testing::hand_made_scenario(), dir.path());
  std::ostringstream out, err;
  ASSERT_EQ(run_plot(PlotRequest{dir.path(), {}}, out, err), 0) << err.str();
  const fs::path svg_file = dir.path() / "Piana_7.svg";
  ASSERT_TRUE(fs::exists(svg_file));
  const std::string svg = read_file(svg_file);
  // The names a person looks for, in UTF-8, and the axes with their units.
  for (const char* text :
       {"Line Piana, train 7: 10.0 km, 2 stations", "FIRENZE S.M.N.",
        "PIAN\xC3\x92", "( Km. ) (18.600)", "30 km/h", "x (km)", "y (km)",
        "distance along the line (km)", "km/h", "\xE2\x80\xB0", "Legend",
        "10:50:00"}) {
    EXPECT_NE(svg.find(text), std::string::npos) << text;
  }
  expect_renders(svg, dir.path());

  // The same picture from the beginning of the names, or one file's name.
  std::ostringstream same;
  EXPECT_EQ(run_plot(PlotRequest{dir.path() / "Piana_7", "-"}, same, err), 0);
  EXPECT_EQ(same.str(), svg);
  std::ostringstream again;
  EXPECT_EQ(
      run_plot(PlotRequest{dir.path() / "Piana_linea.dat", "-"}, again, err),
      0);
  EXPECT_EQ(again.str(), svg);
}

TEST(Plot, DrawsTheScenarioProgramsLine) {
  TemporaryDirectory dir("plot_scenario_test");
  ASSERT_TRUE(scenc::testing::run_scenario_program(dir.path()));
  std::ostringstream out, err;
  ASSERT_EQ(run_plot(PlotRequest{dir.path(), "-"}, out, err), 0) << err.str();
  const std::string svg = out.str();
  for (const char* name :
       {"Line Firenze_Pisa, train 11711: 82.0 km, 16 stations",
        "FIRENZE S.M.N.", "FIRENZE RIFREDI", "FIRENZE CASCINE", "S.DONNINO",
        "SIGNA", "CARMIGNANO", "MONTELUPO", "EMPOLI", "S.MINIATO", "S.ROMANO",
        "LA ROTTA", "PONTEDERA", "CASCINA", "S.FREDIANO", "NAVACCHIO",
        "PISA C.le", "end, km 82.0"}) {
    EXPECT_NE(svg.find(name), std::string::npos) << name;
  }
  expect_renders(svg, dir.path());
}

TEST(Plot, OddScenariosStillGiveAPicture) {
  TemporaryDirectory dir("plot_odd_test");
  // No geometry file, no stations, names that need escaping in XML.
  Model m = scenc::testing::hand_made_scenario();
  m.write_line_file = 0;
  m.scenario_slots[1] = {};
  m.scenario_slots[2] = {};
  m.scenario_slots[80].name = "<&\"\x01>";
  scenc::testing::write_files(m, dir.path());
  std::ostringstream out, err;
  ASSERT_EQ(run_plot(PlotRequest{dir.path() / "Piana_7.sim", "-"}, out, err), 0)
      << err.str();
  EXPECT_NE(out.str().find("No line geometry file"), std::string::npos);
  expect_renders(out.str(), dir.path());
}

// -o names a FIFO or a link: the picture goes down the FIFO, which stays a
// FIFO, or into the file the link names, which the link keeps naming.
TEST(Plot, WritesThroughAFifoOrALink) {
  TemporaryDirectory dir("plot_special_test");
  scenc::testing::write_files(scenc::testing::hand_made_scenario(), dir.path());
  std::ostringstream expected, err;
  ASSERT_EQ(run_plot(PlotRequest{dir.path(), "-"}, expected, err), 0);

  const fs::path fifo = dir.path() / "viewer.svg";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string read_back;
  std::thread viewer([&] { read_back = read_file(fifo); });
  std::ostringstream out;
  EXPECT_EQ(run_plot(PlotRequest{dir.path(), fifo}, out, err), 0) << err.str();
  viewer.join();
  EXPECT_TRUE(read_back == expected.str());
  EXPECT_TRUE(fs::is_fifo(fifo));

  fs::create_directory(dir.path() / "pictures");
  fs::create_symlink("pictures/line.svg", dir.path() / "line.svg");
  EXPECT_EQ(
      run_plot(PlotRequest{dir.path(), dir.path() / "line.svg"}, out, err), 0)
      << err.str();
  EXPECT_TRUE(fs::is_symlink(dir.path() / "line.svg"));
  EXPECT_TRUE(read_file(dir.path() / "pictures" / "line.svg") ==
              expected.str());
}

// The geometry file is looked for beside the slot file, by the line name
// the slot file holds; a name that would lead elsewhere is refused, so that
// a crafted slot file cannot make plot read any file it names.
TEST(Plot, LooksForTheGeometryOnlyBesideTheSlotFile) {
  TemporaryDirectory dir("plot_name_test");
  const fs::path elsewhere = dir.path() / "elsewhere";
  const fs::path crafted = dir.path() / "crafted";
  fs::create_directories(elsewhere / "sub");
  fs::create_directories(crafted / "sub");
  scenc::testing::write_files(scenc::testing::hand_made_scenario(), elsewhere);
  scenc::testing::write_files(scenc::testing::hand_made_scenario(),
                              crafted / "sub");
  for (const std::string& name :
       {(elsewhere / "Piana").string(), std::string("../elsewhere/Piana"),
        std::string("sub/Piana"), std::string("Pia..na"),
        std::string("sub\0Piana", 9)}) {
    Model m = scenc::testing::hand_made_scenario();
    m.write_line_file = 0;
    m.scenario_slots[kLineSlot].name = name;
    scenc::testing::write_files(m, crafted);
    std::ostringstream out, err;
    EXPECT_EQ(run_plot(PlotRequest{crafted / "Piana_7", "-"}, out, err),
              exit_status::kMalformedFile)
        << name;
    EXPECT_EQ(err.str(),
              "scenarioc plot: " + (crafted / "Piana_7.sim").string() +
                  ": the line name in slot 85 is not a file name; "
                  "no line geometry is looked for by it\n")
        << name;
  }
}

TEST(Plot, SaysWhichScenarioItCannotFind) {
  TemporaryDirectory dir("plot_missing_test");
  std::ostringstream out, err;
  EXPECT_EQ(run_plot(PlotRequest{dir.path(), {}}, out, err), 3);
  EXPECT_NE(err.str().find("no slot file (*.sim)"), std::string::npos);

  // A name that is neither a directory nor the beginning of a scenario's
  // names, and a directory that does not exist.
  err.str("");
  EXPECT_EQ(run_plot(PlotRequest{dir.path() / "nosuchdir", {}}, out, err), 3);
  EXPECT_NE(err.str().find("nosuchdir: no such directory, nor a scenario "
                           "whose file names begin so\n"),
            std::string::npos)
      << err.str();
  EXPECT_EQ(err.str().find(".sim"), std::string::npos) << err.str();
  err.str("");
  EXPECT_EQ(
      run_plot(PlotRequest{dir.path() / "nosuchdir" / "Piana_7", {}}, out, err),
      3);
  EXPECT_NE(err.str().find("nosuchdir: no such directory\n"), std::string::npos)
      << err.str();

  // Two scenarios in one directory: the person must say which, and is told
  // both names.
  Model second = scenc::testing::hand_made_scenario();
  scenc::testing::write_files(second, dir.path());
  second.train_number = "8";
  scenc::testing::write_files(second, dir.path());
  err.str("");
  EXPECT_EQ(run_plot(PlotRequest{dir.path(), {}}, out, err), 64);
  EXPECT_NE(err.str().find("holds several scenarios: " +
                           (dir.path() / "Piana_7").string() + ", " +
                           (dir.path() / "Piana_8").string()),
            std::string::npos)
      << err.str();

  // A cut cell file is named with its record and offset.
  fs::resize_file(dir.path() / "Piana_8.dat", 100);
  err.str("");
  EXPECT_EQ(run_plot(PlotRequest{dir.path() / "Piana_8", {}}, out, err),
            exit_status::kMalformedFile);
  EXPECT_NE(
      err.str().find("cell 6 at offset 90: file ends after 10 of 15 bytes"),
      std::string::npos)
      << err.str();
}

// Plotting the sources compiles them as the program would: the picture
// of what they compile to is the picture of the program's own files.
TEST(Plot, FromSourcesDrawsWhatTheFilesHold) {
  TemporaryDirectory dir("plot_sources_test");
  ASSERT_TRUE(scenc::testing::run_scenario_program(dir.path()));
  const auto sources = scenc::testing::embedded_sources(dir.path());
  const CompiledSources compiled = compile_sources(sources.line, sources.train);
  EXPECT_TRUE(compiled.findings.diagnostics.empty());
  EXPECT_EQ(render_plot_svg(compiled.scenario),
            render_plot_svg(load_scenario(dir.path())));

  // Through the command: nothing but the picture is written, beside the
  // line source.
  fs::remove(dir.path() / "Firenze_Pisa_11711.sim");
  std::ostringstream out, err;
  ASSERT_EQ(run_plot(PlotRequest{sources.line, {}, sources.train}, out, err), 0)
      << err.str();
  EXPECT_TRUE(fs::exists(dir.path() / "Firenze_Pisa_11711.svg"));
  EXPECT_FALSE(fs::exists(dir.path() / "Firenze_Pisa_11711.sim"));
  EXPECT_NE(read_file(dir.path() / "Firenze_Pisa_11711.svg")
                .find("The check found no fault and no warning."),
            std::string::npos);

  // A source that cannot be read stops it.
  err.str("");
  EXPECT_EQ(
      run_plot(PlotRequest{dir.path() / "none_linea.txt", "-", sources.train},
               out, err),
      3);
  EXPECT_NE(err.str().find("none_linea.txt"), std::string::npos);
}

// Each fault and warning of the check is drawn at its place on the line
// with its message and row on hover, or listed below the picture when it
// names no place.
TEST(Plot, DrawsEachFaultAtItsPlace) {
  const struct {
    scenc::testing::SourceEdit edit;
    std::string hover;  // the diagnostic as the picture names it
    bool on_the_line;
  } cases[] = {
      {{true, "segnale,   6400,", "segnale,   4600,"},
       "Firenze_Pisa_11711-.txt:65:12: error fault-16: signal on cell 93 "
       "(4600 m), where a signal placed by line 64 already stands (at 4600 m)",
       true},
      {{false, "ripetizione segnali 4 codici,    4650",
        "ripetizione segnali 4 codici,    4660"},
       "Firenze_Pisa_linea.txt:13:34: error fault-3: signal repetition starts "
       "at 4660 m, not on a multiple of 50 m (4650 or 4700 m)",
       false},
      // Warnings too: one at the place its row names, one without a place.
      {{true, "segnale,  79150,", "segnale,  85000,"},
       "Firenze_Pisa_11711-.txt:111:11: warning beyond-line-end: the signal "
       "at 85000 m lies beyond the end of the line at 82000 m (at 85000 m)",
       true},
      {{true, "stazione,  11950,", "stazoine,  11950,"},
       "Firenze_Pisa_11711-.txt:40:1: warning unknown-keyword: `stazoine` "
       "matches no row of the train source: the compiler ignores this row; "
       "did you mean `stazione`?",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hover);
    TemporaryDirectory dir("plot_fault_test");
    const auto sources = scenc::testing::embedded_sources(dir.path(), {c.edit});
    std::ostringstream out, err;
    ASSERT_EQ(run_plot(PlotRequest{sources.line, "-", sources.train}, out, err),
              0)
        << err.str();
    const std::string svg = out.str();
    const std::string where = (dir.path() / "").string();
    EXPECT_NE(svg.find((c.on_the_line ? "<title>" : "\">") + where + c.hover +
                       (c.on_the_line ? "</title>" : "</text>")),
              std::string::npos);
    EXPECT_EQ(
        svg.find("Diagnostics with no place on the line") != std::string::npos,
        !c.on_the_line);
    EXPECT_TRUE(
        scenc::testing::overlapping(scenc::testing::text_boxes(svg)).empty());
  }
}

// The heights climb each cell's gradient over its 50 m from 0 m at the
// start, a point at each change, up to the last cell that has a gradient;
// the plan keeps the track's points and the objects on it.
TEST(Plot, TheSceneHasTheHeightsAndThePlan) {
  TemporaryDirectory dir("plot_scene_test");
  const auto sources = scenc::testing::embedded_sources(dir.path());
  const CompiledSources compiled = compile_sources(sources.line, sources.train);
  const PlotScene scene = make_scene(compiled.scenario, compiled.findings);
  // 0 per mille to 300 m, +4 to 500 m, 0 to 2000 m, +4 to 2300 m, 0 to
  // 4000 m, -4 to 4600 m; the last gradient runs to cell 1777.
  const std::vector<std::pair<double, double>> first = {
      {0, 0},      {300, 0},    {500, 0.8},  {2000, 0.8},
      {2300, 2.0}, {4000, 2.0}, {4600, -0.4}};
  ASSERT_GT(scene.heights.size(), first.size());
  for (std::size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(scene.heights[i].metre, first[i].first) << i;
    EXPECT_NEAR(scene.heights[i].height, first[i].second, 1e-9) << i;
  }
  EXPECT_EQ(scene.heights.back().metre, 1778 * 50);

  ASSERT_TRUE(scene.plan);
  const PlanView& plan = *scene.plan;
  EXPECT_EQ(plan.track.front().metre, 0);
  EXPECT_EQ(plan.track.back().metre, 82000);
  EXPECT_EQ(plan.margin.front().metre, 82000);
  EXPECT_LE(plan.track.size() + plan.margin.size(), 4100u);
  ASSERT_TRUE(plan.end);
  const LineProfile& p = compiled.scenario.profile;
  EXPECT_EQ(plan.end->x, p.value(0, 82000));
  EXPECT_EQ(plan.end->y, p.value(1, 82000));
  // Each station, signal and board, at the point of its metre.
  std::size_t stations = 0, objects = 0;
  for (const PlanMark& m : plan.marks) {
    EXPECT_EQ(m.at.x, p.value(0, m.at.metre));
    EXPECT_EQ(m.at.y, p.value(1, m.at.metre));
    (m.kind == PlanMark::Kind::kStation ? stations : objects) += 1;
  }
  EXPECT_EQ(stations, scene.stations.size());
  EXPECT_EQ(objects, std::count_if(compiled.scenario.cells.begin(),
                                   compiled.scenario.cells.end(),
                                   [](const TrackCell& c) {
                                     return c.kind == cell_kind::kSignal ||
                                            c.kind == cell_kind::kSpeedBoard;
                                   }));
  const std::string svg = render_plot_svg(scene);
  EXPECT_NE(svg.find("Heights from the gradients"), std::string::npos);
  EXPECT_EQ(svg.find("The compile stopped"), std::string::npos);
}

// A fault that ends a source's compile is named over the picture with the
// place the picture stops being whole, and the panels are greyed past it;
// the errors are listed before the warnings.
TEST(Plot, SaysWhereTheCompileStopped) {
  const struct {
    scenc::testing::SourceEdit edit;
    std::string check;
    std::optional<std::int64_t> position;
    std::string left_out;
  } cases[] = {
      {{true, "segnale,   6400,", "segnale,   4600,"},
       "fault-16",
       4600,
       "the rest of the train source"},
      {{false, "cartello indicatore,  18550,", "cartello indicatore,  800,"},
       "fault-6",
       800,
       "the rest of the line source and the whole train source"},
      {{true, "segnale,   6400,", "segnale,   96400,"},
       "fault-15",
       96400,
       "the rest of the train source"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.check);
    TemporaryDirectory dir("plot_stop_test");
    const auto sources = scenc::testing::embedded_sources(
        dir.path(), {c.edit,
                     {false, "indicatori_vmax, 7800, 120,",
                      "indicatori_vmax, 7800, 121,"}});
    const CompiledSources compiled =
        compile_sources(sources.line, sources.train);
    const auto& d = compiled.findings.diagnostics;
    ASSERT_GE(d.size(), 2u);
    EXPECT_EQ(d.front().severity, Severity::kError);
    EXPECT_EQ(d.back().severity, Severity::kWarning);
    ASSERT_EQ(compiled.findings.stops.size(), 1u);
    const CompileStop& stop = compiled.findings.stops.front();
    EXPECT_EQ(stop.check, c.check);
    EXPECT_EQ(stop.position, c.position);
    EXPECT_EQ(stop.left_out, c.left_out);
    EXPECT_EQ(stop.message, d.front().message);
    const PlotScene scene = make_scene(compiled.scenario, compiled.findings);
    EXPECT_EQ(scene.whole_until, static_cast<double>(*c.position));
    const std::string svg = render_plot_svg(scene);
    EXPECT_NE(svg.find("The compile stopped at " + c.check), std::string::npos);
    EXPECT_NE(svg.find("pointer-events=\"none\""), std::string::npos);
    EXPECT_TRUE(
        scenc::testing::overlapping(scenc::testing::text_boxes(svg)).empty());
  }
  // A taken cell is named by the diagnostic, for the view to land on.
  TemporaryDirectory dir("plot_stop_test");
  const auto sources = scenc::testing::embedded_sources(
      dir.path(), {{true, "segnale,   6400,", "segnale,   4600,"}});
  EXPECT_EQ(compile_sources(sources.line, sources.train)
                .findings.diagnostics.front()
                .cell,
            93);
}

// Whatever a source or a path holds, the picture and the page hold only
// characters XML allows: a station name in UTF-8 with non-characters
// (quoted by a warning), a signboard text with a control byte, sources in
// a directory whose name is no UTF-8 and holds a control byte.
TEST(Plot, WritesOnlyCharactersXmlAllows) {
  TemporaryDirectory temp("plot_xml_test");
  const fs::path dir = temp.path() / "sorgenti\x01\xff";
  fs::create_directory(dir);
  // U+FFFF, U+FDD0, U+1FFFF
  const std::string odd_name =
      "RIFREDI\xEF\xBF\xBF\xEF\xB7\x90\xF0\x9F\xBF\xBF";
  const auto sources = scenc::testing::embedded_sources(
      dir, {{true, "FIRENZE RIFREDI", odd_name},
            {false, "(  Km. ) (18.600)", "(  Km. ) \x02(18.600)"}});
  for (const bool html : {false, true}) {
    SCOPED_TRACE(html ? "html" : "svg");
    std::ostringstream out, err;
    PlotRequest request{sources.line, "-", sources.train};
    request.html = html;
    ASSERT_EQ(run_plot(request, out, err), 0) << err.str();
    const std::string page = out.str();
    for (const std::string_view never :
         {"\xEF\xBF\xBF", "\xEF\xB7\x90", "\xF0\x9F\xBF\xBF", "\x01", "\x02",
          "\xff"}) {
      EXPECT_EQ(page.find(never), std::string::npos);
    }
    EXPECT_NE(page.find("RIFREDI\xEF\xBF\xBD"), std::string::npos);
    if (!html) expect_renders(page, temp.path());
  }
}

// The curve lane reads the plan metre by metre: a curve that runs on past
// the start of the next row shows as far as it really turns.
TEST(Plot, CurvesComeFromThePlan) {
  // The classes of turns per metre, signed by side.
  const std::pair<double, int> classes[] = {
      {0.0, 0},    {0.00004, 0}, {0.0001, 1},  {-0.0002, -2},
      {0.0004, 3}, {-0.001, -4}, {0.002, 5},   {0.003, 6},
      {0.0035, 6}, {0.01, 6},    {0.00029, 3}, {std::nan(""), 0}};
  for (const auto& [turn, expected] : classes) {
    EXPECT_EQ(curve_class_of(turn), expected) << turn;
  }
  EXPECT_EQ(curve_radius(-5), 500);
  EXPECT_EQ(curve_label(3), "d3");
  EXPECT_EQ(curve_label(-5), "s5");

  const auto runs_near_1100 = [](const std::vector<CurveRun>& runs) {
    std::vector<std::tuple<std::int64_t, std::int64_t, int>> out;
    for (const CurveRun& r : runs) {
      if (r.last_metre >= 650 && r.first_metre <= 1600) {
        out.emplace_back(r.first_metre, r.last_metre, r.curve_class);
      }
    }
    return out;
  };
  using Runs = std::vector<std::tuple<std::int64_t, std::int64_t, int>>;
  TemporaryDirectory dir("plot_curves_test");
  // "curvas2, 700, 100", "curvas3, 1100, 50", "curvad3, 1150, 300" and
  // "curvad3, 1400, 100": the last row starts inside the one before.
  const auto sources = scenc::testing::embedded_sources(dir.path());
  const auto plain = compile_sources(sources.line, sources.train);
  ASSERT_TRUE(plain.scenario.profile.exists());
  EXPECT_EQ(runs_near_1100(curve_runs(plain.scenario.profile, 2000)),
            (Runs{{2, 700, 0},
                  {701, 800, -2},
                  {801, 1100, 0},
                  {1101, 1150, -3},
                  {1151, 1500, 3},
                  {1501, 2000, 0}}));
  // A left-hand curve written 200 m longer runs into where the author
  // meant the right-hand one to begin.
  const auto longer = scenc::testing::embedded_sources(
      dir.path(), {{false, "curvas3,  1100,  50", "curvas3,  1100,  250"}});
  const auto edited = compile_sources(longer.line, longer.train);
  EXPECT_EQ(runs_near_1100(curve_runs(edited.scenario.profile, 2000)),
            (Runs{{2, 700, 0},
                  {701, 800, -2},
                  {801, 1100, 0},
                  {1101, 1350, -3},
                  {1351, 1500, 3},
                  {1501, 2000, 0}}));
  const std::string svg = render_plot_svg(make_scene(edited.scenario, {}));
  EXPECT_NE(svg.find("<title>left-hand curve, class 3 (radius 2500 m), km "
                     "1.101 to 1.350, 250 m</title>"),
            std::string::npos);
}

TEST(Plot, LabelsFindRoomInRows) {
  // Three labels 40 wide at one place: the first stays, the others move
  // up a row or aside; none meets another.
  const std::vector<LabelWish> crowd = {
      {100, 40, true, -1}, {100, 40, true, -1}, {100, 40, true, -1}};
  const auto spots = place_labels(crowd, 0, 1000, 0);
  ASSERT_EQ(spots.size(), 3u);
  EXPECT_EQ(spots[0].row, 0);
  EXPECT_DOUBLE_EQ(spots[0].left, 80);
  for (std::size_t i = 0; i < spots.size(); ++i) {
    EXPECT_TRUE(spots[i].placed);
    for (std::size_t j = 0; j < i; ++j) {
      EXPECT_FALSE(spots[i].row == spots[j].row &&
                   spots[i].left < spots[j].left + 40 + 4 &&
                   spots[j].left < spots[i].left + 40 + 4)
          << i << " meets " << j;
    }
  }
  EXPECT_FALSE(needs_leader(crowd[0], spots[0]));
  EXPECT_TRUE(needs_leader(crowd[1], spots[1]));

  // Labels keep inside the lane; an optional label that finds no room in
  // its rows, or would have to move further than it may, is left out.
  const std::vector<LabelWish> edge = {
      {2, 30, true, -1}, {10, 30, false, 0}, {995, 30, false, -1}};
  const auto edge_spots = place_labels(edge, 0, 1000, 1);
  EXPECT_DOUBLE_EQ(edge_spots[0].left, 0);
  EXPECT_FALSE(edge_spots[1].placed);
  EXPECT_DOUBLE_EQ(edge_spots[2].left, 970);
  EXPECT_EQ(rows_used(edge_spots), 1);
}

// Every station, signboard and abbattimento mark is named, and no two texts
// of the picture meet, on the scenario program's line and on the longest
// line with the most objects.
TEST(Plot, NoTwoTextsMeet) {
  TemporaryDirectory dir("plot_labels_test");
  ASSERT_TRUE(scenc::testing::run_scenario_program(dir.path()));
  const std::string embedded = render_plot_svg(load_scenario(dir.path()));
  const auto maximal_paths = scenc::testing::maximal_sources(dir.path());
  const CompiledSources maximal =
      compile_sources(maximal_paths.line, maximal_paths.train);
  ASSERT_TRUE(maximal.findings.diagnostics.empty());
  const ScenarioSet embedded_set = load_scenario(dir.path());
  const std::string maximal_svg =
      render_plot_svg(make_scene(maximal.scenario, maximal.findings));

  const struct {
    const char* name;
    const std::string& svg;
    const ScenarioSet& scenario;
  } pictures[] = {{"embedded", embedded, embedded_set},
                  {"maximal", maximal_svg, maximal.scenario}};
  for (const auto& picture : pictures) {
    SCOPED_TRACE(picture.name);
    const std::string& svg = picture.svg;
    const auto boxes = scenc::testing::text_boxes(svg);
    EXPECT_GT(boxes.size(), 100u);
    for (const std::string& meeting : scenc::testing::overlapping(boxes)) {
      ADD_FAILURE() << "texts meet: " << meeting;
    }
    // Names drawn along the line carry the colour of their lane.
    const auto count = [&](const char* colour) {
      const std::regex filled(std::string("<text [^>]*fill=\"") + colour +
                              "\"[^>]*>[^<]+</text>");
      return std::distance(std::sregex_iterator(svg.begin(), svg.end(), filled),
                           std::sregex_iterator());
    };
    std::ptrdiff_t stations = 0, signboards = 0, marks = 0;
    for (int k = 1; k <= kFirstSignboardSlot; ++k) {
      stations +=
          slot_role(k, picture.scenario.slots[static_cast<std::size_t>(k)]) ==
          SlotRole::kStation;
    }
    for (const TrackCell& c : picture.scenario.cells) {
      signboards += c.kind == cell_kind::kSignboard;
      marks += c.kind == cell_kind::kAbbattimento ||
               c.kind == cell_kind::kAbbattimentoZero;
    }
    EXPECT_EQ(count("#1f2d3d"), stations);
    EXPECT_EQ(count("#7d3c98"), signboards);
    EXPECT_EQ(count("#e67700"), marks);
  }
  EXPECT_NE(embedded.find(">( Ponte ) (su fiume) ( Arno )</text>"),
            std::string::npos);
}

// The HTML view is one file that needs nothing from outside: its data is a
// JSON document inside it that no name can break out of.
TEST(Plot, HtmlViewIsOnePageThatNeedsNothingElse) {
  TemporaryDirectory dir("plot_html_test");
  Model m = scenc::testing::hand_made_scenario();
  m.scenario_slots[80].name = "</script><b>";
  scenc::testing::write_files(m, dir.path());
  std::ostringstream out, err;
  ASSERT_EQ(run_plot(PlotRequest{dir.path(), {}, {}, true}, out, err), 0)
      << err.str();
  const std::string html = read_file(dir.path() / "Piana_7.html");
  for (const char* outside : {"http:", "https:", "src=", "@import", "url("}) {
    EXPECT_EQ(html.find(outside), std::string::npos) << outside;
  }
  const std::string open =
      "<script id=\"plot-data\" type=\"application/json\">";
  const auto from = html.find(open);
  ASSERT_NE(from, std::string::npos);
  const auto to = html.find("</script>", from);
  const auto data = nlohmann::json::parse(
      html.substr(from + open.size(), to - from - open.size()));
  EXPECT_EQ(data["cellCount"], 341);
  EXPECT_EQ(data["stations"].size(), 2u);
  EXPECT_TRUE(data["diagnostics"].is_null());
  // The signboard's text, whole, and the cell's details as the dump shows
  // them.
  bool found = false;
  for (const auto& o : data["objects"]) {
    if (o[0] == 120) {
      EXPECT_EQ(o[2], "</script><b>");
      EXPECT_EQ(o[3], "slot 80, text \"</script><b>\"");
      found = true;
    }
  }
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace scenc::tools
