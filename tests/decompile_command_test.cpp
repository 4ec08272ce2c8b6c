// scenarioc decompile and diff as an author runs them: files on disk, the
// notes on standard error, the exit statuses, and the rows diff shows.
#include "tools/decompile_command.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "child_process.h"
#include "scenario/build_run.h"
#include "scenario/emitters.h"
#include "tools/decompile/decompile.h"

namespace scenc::tools {
namespace {

namespace fs = std::filesystem;
using scenc::testing::read_file;
using scenc::testing::TemporaryDirectory;

void write(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

// The files of `line` and `train` compiled, written into `dir`.
void compile_into(const fs::path& dir, const std::string& line,
                  const std::string& train, std::int32_t geometry = 1) {
  const CompiledInMemory c =
      compile_in_memory(line, train, "Firenze_Pisa", "11711", geometry, dir);
  write(c.files.slot_path, c.files.slots);
  write(c.files.cell_path, c.files.cells);
  if (c.files.geometry) write(*c.files.geometry_path, *c.files.geometry);
}

struct Ran {
  int status;
  std::string out;
  std::string err;
};

Ran decompile_run(const fs::path& scenario, const fs::path& out,
                  bool force = false, bool strict = false) {
  std::ostringstream err;
  const int status =
      run_decompile({scenario.string(), out.string(), force, strict}, err);
  return {status, "", err.str()};
}

Ran diff_run(const fs::path& a, const fs::path& b) {
  std::ostringstream out, err;
  const int status = run_diff(a.string(), b.string(), out, err);
  return {status, out.str(), err.str()};
}

class DecompileCommand : public ::testing::Test {
 protected:
  fs::path path(const std::string& name) const { return dir_.path() / name; }
  TemporaryDirectory dir_{"decompile_command"};
};

TEST_F(DecompileCommand, WritesSourcesThatCompileToTheSameFiles) {
  compile_into(path("out"), embedded_line_source(), embedded_train_source());
  const Ran r = decompile_run(path("out/Firenze_Pisa_11711"), path("mine"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("they give the same files, byte for byte"),
            std::string::npos);
  const std::string line = read_file(path("mine/Firenze_Pisa_linea.txt"));
  const std::string train = read_file(path("mine/Firenze_Pisa_11711-.txt"));
  const CompiledInMemory again =
      compile_in_memory(line, train, "Firenze_Pisa", "11711", 1);
  EXPECT_EQ(again.files.cells, read_file(path("out/Firenze_Pisa_11711.dat")));
  EXPECT_EQ(again.files.slots, read_file(path("out/Firenze_Pisa_11711.sim")));
  EXPECT_EQ(again.files.geometry,
            read_file(path("out/Firenze_Pisa_linea.dat")));
  // Windows-1252 text with CR LF line ends and nothing else.
  for (const std::string& source : {line, train}) {
    for (std::size_t i = 0; i < source.size(); ++i) {
      if (source[i] == '\n') {
        EXPECT_EQ(source[i - 1], '\r') << i;
      }
    }
  }
}

TEST_F(DecompileCommand, WithoutGeometryTellsToCompileWithoutIt) {
  compile_into(path("out"), embedded_line_source(), embedded_train_source(), 0);
  const Ran r = decompile_run(path("out"), path("mine"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(
      r.err.find("note: the sources draw the line straight; compile them with "
                 "--no-geometry"),
      std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("compiled with --no-geometry, they give the same files"),
            std::string::npos);
}

TEST_F(DecompileCommand, LeavesAnAuthorsSourcesAloneUnlessForced) {
  compile_into(path("out"), embedded_line_source(), embedded_train_source());
  write(path("mine/Firenze_Pisa_11711-.txt"), "my own work");
  Ran r = decompile_run(path("out"), path("mine"));
  EXPECT_EQ(r.status, 64);
  EXPECT_NE(
      r.err.find(
          "Firenze_Pisa_11711-.txt differs from what decompile would write; "
          "give --force"),
      std::string::npos)
      << r.err;
  EXPECT_EQ(read_file(path("mine/Firenze_Pisa_11711-.txt")), "my own work");
  EXPECT_FALSE(fs::exists(path("mine/Firenze_Pisa_linea.txt")));
  // The same bytes again are no reason to refuse.
  r = decompile_run(path("out"), path("mine"), true);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(decompile_run(path("out"), path("mine")).status, 0);
}

// A board under a station's marker: the files come back, but only by a
// guess, which --strict refuses.
TEST_F(DecompileCommand, StrictFailsOnAGuessThatStillGivesTheSameFiles) {
  const std::string line =
      "x\r\n[generale]\r\nlunghezza percorso, 10000\r\n[cartelli]\r\n"
      "indicatori_vmax, 2100, 100, 110, 120, 1, 0, 5, 10, 2\r\n[fine]\r\n";
  const std::string train =
      "x\r\n[generale]\r\nstazione, 2000, 2, 400, 0, 0, 0, 1,1,0, 4,1,1, 60, "
      "10,0,0, SOPRA\r\n[fine]\r\n";
  compile_into(path("out"), line, train);
  Ran r = decompile_run(path("out"), path("mine"));
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string note =
      path("out/Firenze_Pisa_11711.dat").string() +
      ": cell 43 at offset 645: warning: a station marker stands over";
  EXPECT_NE(r.err.find(note), std::string::npos) << r.err;
  r = decompile_run(path("out"), path("mine"), true, true);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("--strict"), std::string::npos);
}

TEST_F(DecompileCommand, FilesNoSourceGivesEndWithStatusOneAndTheirRecords) {
  compile_into(path("out"), embedded_line_source(), embedded_train_source());
  std::string cells = read_file(path("out/Firenze_Pisa_11711.dat"));
  cells[100 * 15] = 7;  // a kind no row places
  write(path("out/Firenze_Pisa_11711.dat"), cells);
  const Ran r = decompile_run(path("out"), path("mine"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(
                "_11711.dat: cell 100 at offset 1500: warning: holds a kind 7"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(
                "_11711.dat: cell 100 at offset 1500: error: kind 7 against 0"),
            std::string::npos);
  EXPECT_NE(r.err.find("they give other files than these"), std::string::npos);
  // The closest sources are written all the same.
  EXPECT_TRUE(fs::exists(path("mine/Firenze_Pisa_linea.txt")));
}

TEST_F(DecompileCommand, ACutFileIsMalformed) {
  compile_into(path("out"), embedded_line_source(), embedded_train_source());
  std::string cells = read_file(path("out/Firenze_Pisa_11711.dat"));
  write(path("out/Firenze_Pisa_11711.dat"), cells.substr(0, cells.size() - 3));
  const Ran r = decompile_run(path("out"), path("mine"));
  EXPECT_EQ(r.status, 65);
  EXPECT_NE(r.err.find("file ends after 12 of 15 bytes"), std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(path("mine")));
}

TEST_F(DecompileCommand, DiffShowsTheRowsThatDifferUnderTheirSections) {
  std::string changed = embedded_line_source();
  changed.replace(changed.find("4000   , -4"), 11, "4000   , -3");
  compile_into(path("a"), embedded_line_source(), embedded_train_source());
  compile_into(path("b"), changed, embedded_train_source());
  Ran r = diff_run(path("a"), path("b"));
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.out,
            "--- line source of " + path("a").string() +
                "\n+++ line source of " + path("b").string() +
                "\n [pendenze]\n-pendenza, 4000, -4\n+pendenza, 4000, -3\n");
  r = diff_run(path("a"), path("a/Firenze_Pisa_11711.sim"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");

  // A scenario against its sources, found by the name of either.
  write(path("src/Firenze_Pisa_linea.txt"), changed);
  write(path("src/Firenze_Pisa_11711-.txt"), embedded_train_source());
  EXPECT_EQ(diff_run(path("b"), path("src/Firenze_Pisa_11711-.txt")).status, 0);
  r = diff_run(path("src/Firenze_Pisa_linea.txt"), path("a"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("-pendenza, 4000, -3\n+pendenza, 4000, -4\n"),
            std::string::npos)
      << r.out;
}

TEST_F(DecompileCommand, DiffComparesCurvesOnlyWhereBothHoldAPlan) {
  compile_into(path("a"), embedded_line_source(), embedded_train_source());
  compile_into(path("b"), embedded_line_source(), embedded_train_source(), 0);
  const Ran r = diff_run(path("a"), path("b"));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.err.find("the curves are not compared"), std::string::npos);
}

}  // namespace
}  // namespace scenc::tools
