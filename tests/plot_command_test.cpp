#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "scenario_fixture.h"
#include "tools/plot_command.h"
#include "tools/scenario_set.h"
#include "tools/svg_plot.h"

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
              kMalformedFile)
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

  Model second = scenc::testing::hand_made_scenario();
  scenc::testing::write_files(second, dir.path());
  second.train_number = "8";
  scenc::testing::write_files(second, dir.path());
  err.str("");
  EXPECT_EQ(run_plot(PlotRequest{dir.path(), {}}, out, err), 3);
  EXPECT_NE(err.str().find("holds several scenarios"), std::string::npos)
      << err.str();

  // A cut cell file is named with its record and offset.
  fs::resize_file(dir.path() / "Piana_8.dat", 100);
  err.str("");
  EXPECT_EQ(run_plot(PlotRequest{dir.path() / "Piana_8", {}}, out, err),
            kMalformedFile);
  EXPECT_NE(
      err.str().find("cell 6 at offset 90: file ends after 10 of 15 bytes"),
      std::string::npos)
      << err.str();
}

}  // namespace
}  // namespace scenc::tools
