// The plot's pages opened in a real browser, headless Chromium: the HTML
// view of the embedded scenario, of the maximal one and of a source with a
// fault must load without a console error, show their lanes, zoom, name a
// cell on hover and jump to a diagnostic; the SVG pictures must keep every
// text clear of every other as the browser lays them out. Screenshots are
// kept under the build tree (tests/browser/) to be looked at, not compared.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "headless_browser.h"
#include "plot_fixture.h"
#include "tools/plot_command.h"

namespace scenc::tools {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using scenc::testing::HeadlessBrowser;
using scenc::testing::TemporaryDirectory;

// The view's state as the page publishes it on its element: the range
// shown (from, to), the drawings done, the pixels kept clear at each end.
const std::string kView = "document.getElementById('view').dataset";

fs::path artefacts() {
  const fs::path dir = fs::path(SCENARIO_TEST_OUTPUT_DIR) / "browser";
  fs::create_directories(dir);
  return dir;
}

// Writes the plot of the two sources (`html`: the page, else the SVG) to
// `file` and returns its file URL.
std::string plot_file(const scenc::testing::SourcePaths& sources, bool html,
                      const fs::path& file) {
  std::ostringstream out, err;
  EXPECT_EQ(
      run_plot(PlotRequest{sources.line, file, sources.train, html}, out, err),
      0)
      << err.str();
  return "file://" + fs::absolute(file).string();
}

class Browser : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string program = HeadlessBrowser::find();
    if (program.empty()) GTEST_SKIP() << "chromium is not installed";
    const std::string test =
        ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(browser_.start(program, profile_.path(),
                               artefacts() / (test + ".log")));
  }

  // Opens a page as a person's window of 1600 x 1000 pixels would.
  std::string open(const std::string& url) {
    const std::string session = browser_.open_page(url, 1600, 1000);
    EXPECT_FALSE(session.empty()) << browser_.error();
    return session;
  }

  Json eval(const std::string& session, const std::string& expression) {
    const auto value = browser_.evaluate(session, expression);
    EXPECT_TRUE(value.has_value()) << browser_.error();
    return value.value_or(Json());
  }

  // Waits up to ten seconds for `expression` to be true.
  bool wait_until(const std::string& session, const std::string& expression) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (eval(session, expression) == true) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  struct Range {
    double from, to;
    int rendered;
  };
  Range range(const std::string& session) {
    const Json r =
        eval(session, "({from: +" + kView + ".from, to: +" + kView +
                          ".to, rendered: +" + kView + ".rendered})");
    return {r["from"], r["to"], r["rendered"]};
  }

  // Clicks the element `selector` names, in its middle.
  void click(const std::string& session, const std::string& selector) {
    const Json at =
        eval(session, "(() => { const r = document.querySelector('" + selector +
                          "').getBoundingClientRect(); return "
                          "[r.left + r.width / 2, r.top + r.height "
                          "/ 2]; })()");
    ASSERT_TRUE(at.is_array()) << selector;
    EXPECT_TRUE(browser_.click(session, at[0], at[1]));
  }

  // Points at `metres` along the line in `lane` and returns the hover text.
  std::string hover(const std::string& session, const std::string& lane,
                    double metres) {
    const Json at = eval(
        session,
        "(() => { const c = document.querySelector('[data-lane=\"" + lane +
            "\"] canvas'); c.scrollIntoView({block: 'nearest'}); const r = "
            "c.getBoundingClientRect(); const v = " +
            kView +
            "; const f = +v.from, t = "
            "+v.to, pad = +v.pad; return [r.left + pad + (" +
            std::to_string(metres) +
            " - f) / (t - f) * (r.width - 2 * pad), r.top + r.height - 14]; "
            "})()");
    EXPECT_TRUE(browser_.mouse(session, "mouseMoved", at[0], at[1]));
    return eval(session, "document.getElementById('tip').textContent");
  }

  // One zoom step with the + button: the view halves about its middle.
  void zoom_in_once(const std::string& session) {
    const Range before = range(session);
    click(session, "#zoom-in");
    ASSERT_TRUE(wait_until(session, "+" + kView + ".rendered > " +
                                        std::to_string(before.rendered)));
    const Range after = range(session);
    EXPECT_NEAR(after.to - after.from, (before.to - before.from) / 2, 1e-6);
    EXPECT_GE(after.from, before.from);
    EXPECT_LE(after.to, before.to);
  }

  void expect_lanes(const std::string& session, bool with_diagnostics) {
    Json expected = {"plan",       "stations",    "gradient", "heights",
                     "curves",     "speed",       "signals",  "boards",
                     "signboards", "slow-orders", "marks"};
    if (with_diagnostics) expected.push_back("diagnostics");
    expected.push_back("axis");
    EXPECT_EQ(eval(session,
                   "[...document.querySelectorAll('.lane')].map(l => "
                   "l.dataset.lane)"),
              expected);
  }

  void keep_screenshot(const std::string& session, const std::string& name) {
    const std::string png = browser_.screenshot(session);
    EXPECT_GT(png.size(), 10000u) << browser_.error();
    std::ofstream(artefacts() / name, std::ios::binary) << png;
  }

  // The rows of `lanes` (their names beside them) as one picture.
  void keep_lanes(const std::string& session,
                  const std::vector<std::string>& lanes,
                  const std::string& name) {
    // Without the pointer's band and tip.
    browser_.mouse(session, "mouseMoved", 1, 1);
    Json names = lanes;
    const Json box = eval(session, "(() => { const names = " + names.dump() +
                                       "; let top = Infinity, bottom = 0, "
                                       "right = 0; for (const n of names) { "
                                       "const r = document.querySelector("
                                       "'[data-lane=\"' + n + '\"]')"
                                       ".getBoundingClientRect(); top = "
                                       "Math.min(top, r.top); bottom = "
                                       "Math.max(bottom, r.bottom); right = "
                                       "Math.max(right, r.right); } return "
                                       "{x: 0, y: top + window.scrollY, width: "
                                       "right, height: bottom - top}; })()");
    const std::string png = browser_.screenshot(session, box);
    EXPECT_GT(png.size(), 1000u) << browser_.error();
    std::ofstream(artefacts() / name, std::ios::binary) << png;
  }

  void expect_no_page_errors(const std::string& session) {
    for (const std::string& e : browser_.page_errors(session)) {
      ADD_FAILURE() << e;
    }
  }

  TemporaryDirectory work_{"browser_test"};
  TemporaryDirectory profile_{"browser_profile"};
  HeadlessBrowser browser_;
};

TEST_F(Browser, ShowsTheEmbeddedScenarioAndZoomsToSingleCells) {
  const auto sources = scenc::testing::embedded_sources(work_.path());
  const std::string page =
      open(plot_file(sources, true, work_.path() / "e.html"));
  ASSERT_FALSE(page.empty());
  expect_lanes(page, true);
  EXPECT_EQ(eval(page, "document.getElementById('diagnostics').textContent"),
            "The check found no fault and no warning.");
  const Range whole = range(page);
  EXPECT_EQ(whole.from, 0);
  EXPECT_EQ(whole.to, 82000);
  // Hovering names the cell and its decoded values as `scenarioc dump`
  // shows them: "187  9300  -1  130  100  0  0  slow-order start  v 30
  // km/h, d_v 0, f_tt 0".
  const std::string tip = hover(page, "slow-orders", 9300);
  EXPECT_NE(tip.find("cell 187 at 9300 m"), std::string::npos) << tip;
  EXPECT_NE(tip.find("slow-order start: v 30 km/h, d_v 0, f_tt 0"),
            std::string::npos)
      << tip;
  keep_screenshot(page, "html_view_embedded.png");
  // The README's pictures: the heights of the whole line, and the plan of
  // some 10 km about Montelupo.
  keep_lanes(page, {"gradient", "heights", "curves"}, "lane_heights.png");

  zoom_in_once(page);
  zoom_in_once(page);
  zoom_in_once(page);
  for (int i = 0; i < 6; ++i) {
    eval(page,
         "window.dispatchEvent(new KeyboardEvent('keydown', "
         "{key: 'ArrowLeft'}))");
  }
  ASSERT_TRUE(wait_until(page, "+" + kView + ".from < 27000"));
  keep_lanes(page, {"plan"}, "lane_plan.png");

  // Down to the closest view, ten cells wide.
  for (int i = 0; i < 8; ++i) click(page, "#zoom-in");
  ASSERT_TRUE(
      wait_until(page, "+" + kView + ".to - +" + kView + ".from === 500"));
  const std::string cell = hover(page, "gradient", range(page).from + 260);
  EXPECT_NE(cell.find("grad "), std::string::npos) << cell;
  keep_screenshot(page, "html_view_embedded_cells.png");
  expect_no_page_errors(page);
}

TEST_F(Browser, ShowsTheMaximalScenario) {
  const auto sources = scenc::testing::maximal_sources(work_.path());
  const fs::path file = work_.path() / "m.html";
  const std::string page = open(plot_file(sources, true, file));
  ASSERT_FALSE(page.empty());
  expect_lanes(page, true);
  // The figures the README gives for the longest line; not judged here.
  const std::string timing =
      "({ready: +" + kView + ".readyMs, render: +" + kView + ".renderMs})";
  const Json first = eval(page, timing);
  zoom_in_once(page);
  zoom_in_once(page);
  const Json zoomed = eval(page, timing);
  const Range before = range(page);
  click(page, "#zoom-all");
  ASSERT_TRUE(wait_until(page, "+" + kView + ".rendered > " +
                                   std::to_string(before.rendered)));
  const Json whole = eval(page, timing);
  zoom_in_once(page);
  zoom_in_once(page);
  const std::string tip = hover(page, "signals", 500000);
  EXPECT_NE(tip.find("signal"), std::string::npos) << tip;
  keep_screenshot(page, "html_view_maximal.png");
  expect_no_page_errors(page);
  std::ofstream(artefacts() / "html_view_maximal.txt")
      << "size " << fs::file_size(file) << " bytes; first drawing done "
      << first["ready"] << " ms after the page began to load (itself "
      << first["render"] << " ms); drawing the whole line again "
      << whole["render"] << " ms, a quarter of it " << zoomed["render"]
      << " ms\n";
}

// The picture of a compile that stopped at a fault says so, greys what it
// lacks, lists the errors first and lands each jump on what it names.
TEST_F(Browser, JumpsToAFaultFromTheListAndShowsWarnings) {
  const auto sources = scenc::testing::embedded_sources(
      work_.path(),
      {{true, "segnale,   6400,", "segnale,   4600,"},
       {false, "indicatori_vmax, 800, 105,", "indicatori_vmax, 800, 107,"}});
  const std::string page =
      open(plot_file(sources, true, work_.path() / "f.html"));
  ASSERT_FALSE(page.empty());
  expect_lanes(page, true);
  // The error first, though the warning's row comes first in the sources.
  EXPECT_EQ(eval(page,
                 "[...document.querySelectorAll('#diagnostics li')]"
                 ".map(l => l.className)"),
            Json({"error", "warning"}));
  EXPECT_EQ(eval(page, "document.querySelector('#banner .stop').textContent"),
            "The compile stopped at fault-16, " + sources.train.string() +
                ":65:12: signal on cell 93 (4600 m), where a signal placed "
                "by line 64 already stands. The rest of the train source was "
                "not compiled, so what it places is missing; the picture is "
                "greyed past km 4.600.");
  const Range before = range(page);
  click(page, "#diagnostics li[data-position=\"4600\"]");
  ASSERT_TRUE(wait_until(
      page, "+" + kView + ".rendered > " + std::to_string(before.rendered)));
  const Range after = range(page);
  EXPECT_LT(after.from, 4600);
  EXPECT_GT(after.to, 4600);
  EXPECT_LT(after.to - after.from, before.to - before.from);
  const std::string tip = hover(page, "diagnostics", 4600);
  EXPECT_NE(tip.find("error fault-16: signal on cell 93 (4600 m), where a "
                     "signal placed by line 64 already stands"),
            std::string::npos)
      << tip;
  EXPECT_NE(tip.find("Firenze_Pisa_11711-.txt:65:12"), std::string::npos);
  // The jump marks the cell the fault names, and tells what stands there.
  const Json chosen = eval(page, R"((() => {
    const band = document.getElementById('chosen').getBoundingClientRect();
    const lane = document.querySelector('[data-lane="signals"] canvas')
                   .getBoundingClientRect();
    const v = document.getElementById('view').dataset;
    return {middle: (band.left + band.right) / 2 - lane.left,
            at: +v.pad + (4600 - +v.from) / (+v.to - +v.from) * (lane.width - 2 * +v.pad),
            named: document.querySelector('li.current .named').textContent};
  })())");
  EXPECT_NEAR(chosen["middle"].get<double>(), chosen["at"].get<double>(), 2);
  EXPECT_NE(
      chosen["named"].get<std::string>().find("cell 93 at 4600 m (km 4.600)"),
      std::string::npos)
      << chosen["named"];
  EXPECT_NE(chosen["named"].get<std::string>().find("signal: "),
            std::string::npos);
  // A warning is drawn at its place too.
  const Range at_fault = range(page);
  click(page, "#diagnostics li[data-position=\"800\"]");
  ASSERT_TRUE(wait_until(
      page, "+" + kView + ".rendered > " + std::to_string(at_fault.rendered)));
  const std::string warning = hover(page, "diagnostics", 800);
  EXPECT_NE(warning.find("warning value-rounded: the vas 107 km/h is not a "
                         "multiple of 5 km/h"),
            std::string::npos)
      << warning;
  EXPECT_NE(warning.find("Firenze_Pisa_linea.txt:93:23"), std::string::npos);
  keep_screenshot(page, "html_view_fault.png");
  expect_no_page_errors(page);
}

// The picture's own estimate of text widths keeps its labels apart; here
// the browser lays out the real glyphs and no two texts may meet.
TEST_F(Browser, LaysOutEverySvgTextClearOfTheOthers) {
  const auto embedded = scenc::testing::embedded_sources(work_.path());
  const fs::path maximal_dir = work_.path() / "maximal";
  fs::create_directories(maximal_dir);
  const auto maximal = scenc::testing::maximal_sources(maximal_dir);
  for (const auto& [name, sources] :
       {std::pair{"embedded", embedded}, std::pair{"maximal", maximal}}) {
    SCOPED_TRACE(name);
    const std::string page = open(
        plot_file(sources, false, work_.path() / (std::string(name) + ".svg")));
    ASSERT_FALSE(page.empty());
    const Json found = eval(page, R"((() => {
      const boxes = [...document.querySelectorAll('text')]
        .filter(t => t.textContent.length)
        .map(t => { const r = t.getBoundingClientRect();
                    return [r.left, r.top, r.right, r.bottom, t.textContent]; });
      boxes.sort((a, b) => a[0] - b[0]);
      const meeting = [];
      for (let i = 0; i < boxes.length; ++i)
        for (let j = i + 1; j < boxes.length && boxes[j][0] < boxes[i][2] - 0.5; ++j)
          if (boxes[i][1] < boxes[j][3] - 0.5 && boxes[j][1] < boxes[i][3] - 0.5)
            meeting.push(boxes[i][4] + ' / ' + boxes[j][4]);
      return {texts: boxes.length, meeting: meeting.slice(0, 20)};
    })())");
    EXPECT_GT(found["texts"].get<int>(), 100);
    EXPECT_EQ(found["meeting"], Json::array());
    keep_screenshot(page, std::string("svg_") + name + ".png");
    expect_no_page_errors(page);
  }
}

// Every text of every lane, as the page drew it, against every other and
// against the lines and symbols its lane keeps clear, at the overview and
// three zoom levels of the longest line; and every diagnostic's mark is
// named, alone or in a group that counts it.
TEST_F(Browser, NoTwoLabelsMeetAtAnyZoomOnTheMaximalScenario) {
  const auto sources = scenc::testing::maximal_sources(work_.path());
  // Every tenth speed board a speed off the 5 km/h steps: a warning each,
  // two hundred places along the line.
  std::string line = scenc::testing::read_file(sources.line);
  int boards = 0;
  for (std::size_t at = line.find("indicatori_vmax, "); at != std::string::npos;
       at = line.find("indicatori_vmax, ", at + 1)) {
    if (boards++ % 10 != 0) continue;
    const std::size_t speed = line.find(", ", line.find(", ", at) + 2) + 2;
    line.insert(line.find(',', speed), "1");
  }
  std::ofstream(sources.line, std::ios::binary | std::ios::trunc) << line;
  const std::string page =
      open(plot_file(sources, true, work_.path() / "labels.html"));
  ASSERT_FALSE(page.empty());
  for (int level = 0; level < 4; ++level) {
    SCOPED_TRACE("zoomed in " + std::to_string(level * 3) + " times");
    if (level > 0) {
      for (int i = 0; i < 3; ++i) zoom_in_once(page);
    }
    const Json found = eval(page, R"((() => {
      const texts = window.plotTexts, ink = window.plotInk;
      const lanes = {};
      for (const l of document.querySelectorAll('.lane')) {
        const r = l.querySelector('canvas').getBoundingClientRect();
        lanes[l.dataset.lane] = {left: r.left + scrollX, right: r.right + scrollX,
                                 top: r.top + scrollY, bottom: r.bottom + scrollY,
                                 width: r.width};
      }
      const meet = (a, b) => a.left < b.right - 0.5 && b.left < a.right - 0.5 &&
                             a.top < b.bottom - 0.5 && b.top < a.bottom - 0.5;
      const problems = [];
      texts.forEach((t, i) => {
        const r = lanes[t.lane];
        if (t.left < r.left - 0.5 || t.right > r.right + 0.5 ||
            t.top < r.top - 0.5 || t.bottom > r.bottom + 0.5)
          problems.push(t.lane + ': "' + t.text + '" leaves its lane');
        for (let j = i + 1; j < texts.length; ++j)
          if (meet(t, texts[j]))
            problems.push(t.lane + ': "' + t.text + '" meets "' + texts[j].text + '"');
        for (const k of ink)
          if (k.lane === t.lane && meet(t, k))
            problems.push(t.lane + ': "' + t.text + '" covers its lane\'s ink');
      });
      // Each diagnostics label names 1 + N marks ("value-rounded +N").
      let named = 0;
      for (const t of texts.filter(t => t.lane === 'diagnostics')) {
        const m = t.text.match(/ \+([0-9]+)$/);
        named += 1 + (m ? +m[1] : 0);
      }
      const v = document.getElementById('view').dataset;
      const w = lanes.diagnostics.width, f = +v.from, to = +v.to, pad = +v.pad;
      const marks = [...document.querySelectorAll('#diagnostics li[data-position]')]
        .map(li => pad + (+li.dataset.position - f) / (to - f) * (w - 2 * pad))
        .filter(x => x >= -10 && x <= w + 10).length;
      return {texts: texts.length, speeds: texts.filter(t => t.lane === 'speed').length,
              problems: problems.slice(0, 20), named, marks};
    })())");
    EXPECT_GT(found["texts"].get<int>(), 10);
    // The overview names slow orders' speeds beside the line speed's axis.
    if (level == 0) {
      EXPECT_GT(found["speeds"].get<int>(), 10);
    }
    EXPECT_EQ(found["problems"], Json::array());
    EXPECT_GT(found["marks"].get<int>(), 0);
    EXPECT_EQ(found["named"], found["marks"]);
    if (level == 0) keep_screenshot(page, "html_view_maximal_labels.png");
  }
  expect_no_page_errors(page);
}

// A `scenarioc serve` of two sources in a test, with a registry of serves
// of its own.
class ServedView {
 public:
  ServedView(const scenc::testing::SourcePaths& sources,
             const fs::path& runtime)
      : serve_({std::string(SCENARIO_BIN_DIR) + "/scenarioc", "serve",
                sources.line.string(), sources.train.string()},
               {.environment = {{"XDG_RUNTIME_DIR", runtime.string()}}}) {
    if (serve_.wait_for_output("/\n", std::chrono::seconds(20))) {
      const std::string out = serve_.stdout_text();
      url_ = out.substr(0, out.find('\n'));
    }
  }
  const std::string& url() const { return url_; }
  scenc::testing::ChildProcess& process() { return serve_; }

 private:
  scenc::testing::ChildProcess serve_;
  std::string url_;
};

// Milliseconds since 1970, as the page's Date.now() counts them.
double now_ms() {
  return static_cast<double>(
      std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::system_clock::now().time_since_epoch())
          .count());
}

// The served page follows the sources: a save that brings a fault shows
// it, the save that mends it takes it away, the zoom and the place in view
// stay; Ctrl-C ends the server and the page says so. The times from the
// save to the new compile on the page are written to
// tests/browser/live_view.txt; what the page must reach here is left
// generous, for a machine busy with other work.
TEST_F(Browser, ServedPageFollowsEachSaveAndKeepsItsPlace) {
  struct Case {
    const char* name;
    scenc::testing::SourcePaths sources;
    std::string good, faulty;
  };
  const fs::path maximal_dir = work_.path() / "maximal";
  fs::create_directories(maximal_dir);
  const Case cases[] = {
      {"embedded", scenc::testing::embedded_sources(work_.path()),
       "segnale,   6400,", "segnale,   4600,"},
      {"maximal", scenc::testing::maximal_sources(maximal_dir),
       "segnale, 3000,", "segnale, 1500,"}};
  std::ofstream figures(artefacts() / "live_view.txt");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TemporaryDirectory runtime("serve_runtime");
    ServedView served(c.sources, runtime.path());
    ASSERT_FALSE(served.url().empty()) << served.process().stderr_text();
    const std::string page = open(served.url());
    ASSERT_FALSE(page.empty());
    ASSERT_TRUE(wait_until(page, "+" + kView + ".version === 1"));
    zoom_in_once(page);
    zoom_in_once(page);
    const Range zoomed = range(page);
    const std::string good = scenc::testing::read_file(c.sources.train);
    std::string faulty = good;
    faulty.replace(faulty.find(c.good), c.good.size(), c.faulty);

    // Saves `text` as an editor does, and returns how long the page took
    // to show compile `version`, in milliseconds.
    const auto save = [&](const std::string& text, int version) {
      const fs::path part = c.sources.train.string() + ".swp";
      std::ofstream(part, std::ios::binary) << text;
      const double saved = now_ms();
      fs::rename(part, c.sources.train);
      EXPECT_TRUE(wait_until(
          page, "+" + kView + ".version === " + std::to_string(version)));
      return eval(page, "+" + kView + ".shownAt").get<double>() - saved;
    };
    const std::string fault_listed =
        "[...document.querySelectorAll('#diagnostics li.error .check')]"
        ".some(e => e.textContent === 'error fault-16')";
    // The fault listed and the stop over the picture, or neither; the
    // place in view as it was.
    const auto expect_shown = [&](bool fault) {
      EXPECT_EQ(eval(page, fault_listed), fault);
      EXPECT_EQ(eval(page, "document.querySelectorAll('#banner .stop').length"),
                fault ? 1 : 0);
      const Range now = range(page);
      EXPECT_EQ(now.from, zoomed.from);
      EXPECT_EQ(now.to, zoomed.to);
    };
    const double appeared = save(faulty, 2);
    expect_shown(true);
    if (std::string(c.name) == "embedded") {
      keep_screenshot(page, "live_view_fault.png");
    }
    const double mended = save(good, 3);
    expect_shown(false);
    EXPECT_LT(appeared, 5000);
    EXPECT_LT(mended, 5000);
    figures << c.name << ": the fault shown " << appeared
            << " ms after the save, gone " << mended << " ms after the next\n";

    kill(served.process().pid(), SIGINT);
    EXPECT_EQ(served.process().wait_for_exit(std::chrono::seconds(5)), 0);
    EXPECT_TRUE(wait_until(page,
                           "document.getElementById('live').textContent"
                           ".includes('scenarioc serve has ended')"));
    expect_no_page_errors(page);
  }
}

}  // namespace
}  // namespace scenc::tools
