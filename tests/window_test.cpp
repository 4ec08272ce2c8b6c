// The layers the build run shows itself through: the console layer where no
// display answers, the waiting window and the error exit's message box on a
// virtual X display.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "app/window_layout.h"
#include "child_process.h"
#include "embedded_run.h"

#ifdef SCENARIO_HAS_WINDOW
#include "window_watcher.h"
#endif

namespace scenc {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::find_on_path;
using testing::run_tool;
using testing::VirtualDisplay;
#ifdef SCENARIO_HAS_WINDOW
using testing::WindowWatcher;
#endif
namespace fs = std::filesystem;

TEST(WaitingWindowLayout, FollowsTheDisplayResolution) {
  const struct {
    double dpi;
    WindowLayout expected;
  } cases[] = {
      {96, {280, 179, 64, 64, 177, 53, 32}},
      {120, {350, 224, 80, 80, 221, 66, 40}},
      {144, {420, 269, 96, 96, 265, 79, 48}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(waiting_window_layout(c.dpi), c.expected) << c.dpi;
  }
}

TEST(WaitingWindowLayout, ImplausibleResolutionsFallBackTo96) {
  const struct {
    double reported, used;
  } cases[] = {
      {0, 96},     {-1, 96},  {std::numeric_limits<double>::quiet_NaN(), 96},
      {20, 96},    {5000, 96}, {std::numeric_limits<double>::infinity(), 96},
      {72, 72},    {120, 120}, {192, 192},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(usable_dots_per_inch(c.reported), c.used) << c.reported;
  }
}

// A display number with no server behind it on this machine.
std::string display_without_server() {
  for (int n = 700;; ++n) {
    if (!fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) &&
        !fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) {
      return ":" + std::to_string(n);
    }
  }
}

// Without a display the error exit is one line on standard error, nothing
// waits for a person, and "Attendere" stays off a standard error that is not
// a terminal.
TEST(ConsoleLayer, TakesOverWhereNoDisplayAnswers) {
  const struct {
    const char* what;
    std::optional<std::string> display;
  } cases[] = {
      {"DISPLAY unset", std::nullopt},
      {"DISPLAY empty", ""},
      {"no server on DISPLAY", display_without_server()},
      {"DISPLAY malformed", "not a display"},
  };
  for (const auto& c : cases) {
    ChildProcess driver({WINDOW_DRIVER, "1251"},
                        {.environment = {{"DISPLAY", c.display}}});
    ASSERT_TRUE(driver.started());
    EXPECT_EQ(driver.wait_for_exit(20s), 2) << c.what;
    EXPECT_EQ(driver.stderr_text(), " Errore n. 1251\n") << c.what;
    EXPECT_EQ(driver.stdout_text(), "shown\n") << c.what;
  }
}

// A display whose server takes the connection and never answers it, as one
// across a network that has gone quiet does: the run must not wait for it
// longer than its limit.
TEST(ConsoleLayer, TakesOverWhenTheDisplayNeverAnswers) {
  const std::string display = display_without_server();
  const fs::path socket_path = "/tmp/.X11-unix/X" + display.substr(1);
  fs::create_directories(socket_path.parent_path());
  const int server = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(server, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s",
                socket_path.c_str());
  ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(server, 4), 0);

  ChildProcess driver({WINDOW_DRIVER, "1250"},
                      {.environment = {{"DISPLAY", display}}});
  const auto status = driver.wait_for_exit(30s);
  close(server);
  fs::remove(socket_path);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(driver.stderr_text(), " Errore n. 1250\n");
}

#ifdef SCENARIO_HAS_WINDOW

// An RGB picture read back from a screenshot.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;

  bool dark(int x, int y) const {
    const auto* p = &rgb[3 * (static_cast<std::size_t>(y) * width + x)];
    return p[0] + p[1] + p[2] < 3 * 100;
  }
  // How many dark pixels lie in the rectangle, and their bounding box.
  struct Ink {
    int count = 0;
    int left = std::numeric_limits<int>::max(), top = left;
    int right = -1, bottom = -1;
  };
  Ink ink(int x0, int y0, int x1, int y1) const {
    Ink ink;
    for (int y = std::max(y0, 0); y < std::min(y1, height); ++y) {
      for (int x = std::max(x0, 0); x < std::min(x1, width); ++x) {
        if (!dark(x, y)) continue;
        ++ink.count;
        ink.left = std::min(ink.left, x);
        ink.top = std::min(ink.top, y);
        ink.right = std::max(ink.right, x);
        ink.bottom = std::max(ink.bottom, y);
      }
    }
    return ink;
  }
};

// Parses the binary portable pixmap ImageMagick writes for "ppm:-".
std::optional<Picture> parse_ppm(const std::string& bytes) {
  std::istringstream in(bytes);
  std::string magic;
  int maxval = 0;
  Picture picture;
  if (!(in >> magic >> picture.width >> picture.height >> maxval) ||
      magic != "P6" || maxval != 255) {
    return std::nullopt;
  }
  in.get();
  picture.rgb.resize(3 * static_cast<std::size_t>(picture.width) * picture.height);
  in.read(reinterpret_cast<char*>(picture.rgb.data()),
          static_cast<std::streamsize>(picture.rgb.size()));
  if (in.gcount() != static_cast<std::streamsize>(picture.rgb.size())) {
    return std::nullopt;
  }
  return picture;
}

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool", "import", "convert"}) {
      if (find_on_path(tool).empty()) {
        GTEST_SKIP() << tool << " is not installed (scripts/install-deps)";
      }
    }
    ASSERT_TRUE(display_.start()) << "Xvfb did not come up";
    environment_ = {{"DISPLAY", display_.name()}};
  }

  // Polls the watcher until a window of that name is mapped, or `limit`
  // passes, or `child` ends.
  const WindowWatcher::Seen* wait_for_window(WindowWatcher& watcher,
                                             const std::string& name,
                                             ChildProcess& child,
                                             std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      watcher.pump();
      if (const auto* seen = watcher.mapped(name)) return seen;
      if (child.poll_exit()) break;
      std::this_thread::sleep_for(20ms);
    }
    watcher.pump();
    return watcher.mapped(name);
  }

  // Saves a screenshot of the window as PNG under the build directory (to
  // be looked at) and reads it back.
  std::optional<Picture> screenshot(Window id, const std::string& file) {
    const auto png = fs::path(SCENARIO_TEST_OUTPUT_DIR) / file;
    const auto shot =
        run_tool({find_on_path("import"), "-window", std::to_string(id), png},
                 environment_);
    if (shot.status != 0) return std::nullopt;
    return parse_ppm(
        run_tool({find_on_path("convert"), png, "ppm:-"}, environment_).output);
  }

  // Answers a message box the way a person would: focus it, press return on
  // its OK button.
  void press_ok(Window id) {
    const auto pressed =
        run_tool({find_on_path("xdotool"), "windowfocus", std::to_string(id),
                  "key", "Return"},
                 environment_);
    EXPECT_EQ(pressed.status, 0);
  }

  VirtualDisplay display_;
  testing::EnvironmentChanges environment_;
};

// The waiting window is painted once before the work and stays readable
// while the work handles no window events; the error exit's box is modal
// over it, and answering OK ends the run with the error exit's status.
TEST_F(DesktopTest, WaitingWindowThenErrorBoxAnsweredWithOk) {
  WindowWatcher watcher(display_.name());
  ASSERT_TRUE(watcher.watching());
  ChildProcess driver({WINDOW_DRIVER, "1250"},
                      {.environment = environment_, .stdin_pipe = true});
  ASSERT_TRUE(driver.wait_for_output("shown", 20s)) << driver.stderr_text();

  const auto* form = wait_for_window(watcher, "Form1", driver, 5s);
  ASSERT_NE(form, nullptr) << "no waiting window";
  EXPECT_EQ(form->width, 280);
  EXPECT_EQ(form->height, 179);
  const auto waiting = screenshot(form->id, "waiting_window.png");
  ASSERT_TRUE(waiting);
  ASSERT_EQ(waiting->width, 280);
  ASSERT_EQ(waiting->height, 179);
  // "Attendere" in dark ink, starting at the label's top left corner
  // (64, 64); nothing above or left of the label is drawn in ink.
  const auto label = waiting->ink(0, 0, 280, 179);
  ASSERT_GT(label.count, 300);
  EXPECT_GE(label.left, 64);
  EXPECT_LE(label.left, 72);
  EXPECT_GE(label.top, 64);
  EXPECT_LE(label.top, 80);
  EXPECT_LE(label.bottom, 64 + 53);
  EXPECT_GT(label.right - label.left, 120) << "the whole word is drawn";

  driver.write_stdin("work done\n");
  const auto* box = wait_for_window(watcher, "window_driver", driver, 10s);
  ASSERT_NE(box, nullptr) << "no message box";
  EXPECT_FALSE(driver.poll_exit()) << "the run must wait for the person";
  const auto message = screenshot(box->id, "error_box.png");
  ASSERT_TRUE(message);
  EXPECT_GT(message->ink(0, 0, message->width, message->height).count, 100);

  press_ok(box->id);
  EXPECT_EQ(driver.wait_for_exit(10s), 2);
  EXPECT_EQ(driver.stderr_text(), "");
}

// The files a clean run leaves in its program directory.
const char* const kRunFiles[] = {
    "Firenze_Pisa_11711_note.txt", "Firenze_Pisa_11711_rallentamenti.txt",
    "Firenze_Pisa_11711_scheda_treno.txt", "Firenze_Pisa_linea.dat",
    "Firenze_Pisa_11711.sim",      "Firenze_Pisa_11711.dat",
};

TEST_F(DesktopTest, ScenarioProgramShowsItsWindowAndEndsByItself) {
  // A copy of the program in a directory of its own, so that its files
  // land there and not in the build's bin/.
  const auto dir = fs::path(SCENARIO_TEST_OUTPUT_DIR) / "desktop_run";
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy_file(fs::path(SCENARIO_BIN_DIR) / "scenario", dir / "scenario");
  fs::copy_file(fs::path(SCENARIO_BIN_DIR) / "scenario_window.so",
                dir / "scenario_window.so");

  WindowWatcher watcher(display_.name());
  ASSERT_TRUE(watcher.watching());
  ChildProcess run({(dir / "scenario").string()}, {.environment = environment_});
  ASSERT_TRUE(run.started());
  const auto* box = wait_for_window(watcher, "scenario", run, 60s);
  if (box != nullptr) {
    const auto* form = watcher.mapped("Form1");
    EXPECT_NE(form, nullptr) << "the waiting window stays behind the box";
    press_ok(box->id);
    EXPECT_EQ(run.wait_for_exit(10s), 2);
    FAIL() << "the build run reached the error exit instead of a clean build";
  }
  ASSERT_EQ(run.wait_for_exit(10s), 0) << run.stderr_text();
  watcher.pump();
  const auto* form = watcher.mapped("Form1");
  ASSERT_NE(form, nullptr) << "no waiting window was shown";
  EXPECT_EQ(form->width, 280);
  EXPECT_EQ(form->height, 179);
  for (const char* file : kRunFiles) EXPECT_TRUE(fs::exists(dir / file)) << file;
  EXPECT_FALSE(fs::exists(dir / "Firenze_Pisa_linea.txt"));
  EXPECT_FALSE(fs::exists(dir / "Firenze_Pisa_11711-.txt"));
}

// A run that must wait for another run of its directory shows its waiting
// window while it waits, touches no file, and builds once its turn comes.
TEST_F(DesktopTest, ARunWaitingForItsTurnShowsTheWaitingWindow) {
  const testing::TemporaryDirectory temp("desktop_turn");
  const fs::path& dir = temp.path();
  ASSERT_FALSE(dir.empty());
  for (const char* file : {"scenario", "scenario_window.so"}) {
    fs::copy_file(fs::path(SCENARIO_BIN_DIR) / file, dir / file);
  }
  const int lock = ::open((dir / testing::kRunLockFile).c_str(),
                          O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);

  WindowWatcher watcher(display_.name());
  ASSERT_TRUE(watcher.watching());
  ChildProcess run({(dir / "scenario").string()},
                   {.environment = environment_});
  const auto* form = wait_for_window(watcher, "Form1", run, 20s);
  ASSERT_NE(form, nullptr) << "no waiting window while waiting";
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(run.poll_exit());
  for (const char* file : kRunFiles)
    EXPECT_FALSE(fs::exists(dir / file)) << file;

  ::close(lock);
  ASSERT_EQ(run.wait_for_exit(20s), 0) << run.stderr_text();
  for (const char* file : kRunFiles)
    EXPECT_TRUE(fs::exists(dir / file)) << file;
}

#else

TEST(DesktopTest, NeedsTheWindowBackend) {
  GTEST_SKIP() << "the window backend was not built (FLTK 1.3 not found or "
                  "SCENARIO_WINDOW off)";
}

#endif

}  // namespace
}  // namespace scenc
