// The scenario program loads its window layer, and with it the window
// toolkit and the X libraries, only when a display is named: without one
// their loading alone would cost a third of a build. The dynamic loader's
// own report of the files it loads shows which were.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "child_process.h"

namespace scenc {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;

#ifdef SCENARIO_HAS_WINDOW

TEST(WindowModule, IsLoadedOnlyWhenADisplayIsNamed) {
  // A copy of the program with its module in a directory of its own: its
  // files land there.
  const testing::TemporaryDirectory temp("scenario-module");
  const fs::path& dir = temp.path();
  ASSERT_FALSE(dir.empty());
  fs::copy_file(fs::path(SCENARIO_BIN_DIR) / "scenario", dir / "scenario");
  fs::copy_file(fs::path(SCENARIO_BIN_DIR) / "scenario_window.so",
                dir / "scenario_window.so");

  const struct {
    std::optional<std::string> display;
    bool loads_toolkit;
  } cases[] = {
      {std::nullopt, false},
      {"", false},
      // A display that does not exist: the module is loaded, finds no
      // display, and the console layer stands in.
      {":4711", true},
  };
  for (const auto& c : cases) {
    ChildProcess run({(dir / "scenario").string()},
                     {.environment = {{"DISPLAY", c.display}, {"LD_DEBUG", "files"}}});
    ASSERT_TRUE(run.started());
    EXPECT_EQ(run.wait_for_exit(std::chrono::seconds(60)), 0);
    const std::string loads = run.stderr_text();
    const std::string label = c.display.value_or("(unset)");
    ASSERT_NE(loads.find("libc.so"), std::string::npos) << label;
    EXPECT_EQ(loads.find("scenario_window.so") != std::string::npos, c.loads_toolkit)
        << label;
    EXPECT_EQ(loads.find("libfltk") != std::string::npos, c.loads_toolkit) << label;
    EXPECT_EQ(loads.find("libX11") != std::string::npos, c.loads_toolkit) << label;
  }
}

#else

TEST(WindowModule, NeedsTheWindowBackend) {
  GTEST_SKIP() << "the window backend was not built";
}

#endif

}  // namespace
}  // namespace scenc
