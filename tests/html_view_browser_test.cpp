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
        "(() => { const r = document.querySelector('[data-lane=\"" + lane +
            "\"] canvas').getBoundingClientRect(); const v = " + kView +
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
    Json expected = {"stations",   "gradient",    "curves",
                     "speed",      "signals",     "boards",
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

  zoom_in_once(page);

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

TEST_F(Browser, JumpsToAFaultFromTheListAndShowsWarnings) {
  const auto sources = scenc::testing::embedded_sources(
      work_.path(),
      {{true, "segnale,   6400,", "segnale,   4600,"},
       {false, "indicatori_vmax, 800, 105,", "indicatori_vmax, 800, 107,"}});
  const std::string page =
      open(plot_file(sources, true, work_.path() / "f.html"));
  ASSERT_FALSE(page.empty());
  expect_lanes(page, true);
  EXPECT_EQ(eval(page, "document.querySelectorAll('#diagnostics li').length"),
            2);
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

}  // namespace
}  // namespace scenc::tools
