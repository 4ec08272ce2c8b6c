// scenarioc fmt: in place against the partner beside a source, --check with
// its diff and status, standard input to standard output, and a file that
// cannot be read.
#include "tools/fmt_command.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "child_process.h"
#include "output/output_directory.h"
#include "scenario/build_run.h"
#include "scenario/emitters.h"

namespace scenc::tools {
namespace {

using testing::read_file;

struct FmtRun {
  int status;
  std::string out;
  std::string err;
};

FmtRun fmt(FmtRequest r, const std::string& in = "") {
  std::istringstream input(in);
  std::ostringstream out;
  std::ostringstream err;
  const int status = run_fmt(r, input, out, err);
  return {status, out.str(), err.str()};
}

TEST(FmtCommand, ChecksFormatsInPlaceAndReadsStandardInput) {
  const testing::TemporaryDirectory dir("scenarioc-fmt");
  ASSERT_FALSE(dir.path().empty());
  Model model;
  set_embedded_identity(model);
  MemoryDirectory sources;
  write_scenario_texts(model, sources);
  const auto line = dir.path() / "Firenze_Pisa_linea.txt";
  const auto train = dir.path() / "Firenze_Pisa_11711-.txt";
  std::string text = sources.files.at("Firenze_Pisa_11711-.txt");
  std::ofstream(line, std::ios::binary)
      << sources.files.at("Firenze_Pisa_linea.txt");
  std::ofstream(train, std::ios::binary) << text;

  // The embedded sources are formatted already.
  EXPECT_EQ(fmt({{line.string(), train.string()}, true, ""}).status, 0);

  text.replace(text.find("aderenza,  0, 100"), 0, "  ");
  std::ofstream(train, std::ios::binary) << text;
  const FmtRun check = fmt({{train.string()}, true, ""});
  EXPECT_EQ(check.status, 1);
  EXPECT_NE(check.out.find("-  aderenza,  0, 100\n+aderenza, 0, 100\n"),
            std::string::npos)
      << check.out;
  EXPECT_EQ(read_file(train), text);  // --check changes nothing

  const FmtRun piped = fmt({{"-"}, false, "train"}, text);
  EXPECT_EQ(piped.status, 0);
  EXPECT_NE(piped.out.find("\r\naderenza, 0, 100\r\n"), std::string::npos);

  EXPECT_EQ(fmt({{train.string()}, false, ""}).status, 0);
  EXPECT_EQ(read_file(train), piped.out);
  EXPECT_EQ(fmt({{train.string()}, true, ""}).status, 0);

  const FmtRun missing = fmt({{(dir.path() / "none-.txt").string()}, false, ""});
  EXPECT_EQ(missing.status, 3);
  EXPECT_NE(missing.err.find("none-.txt"), std::string::npos);
}

}  // namespace
}  // namespace scenc::tools
