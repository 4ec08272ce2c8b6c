// What an author reads and types around scenarioc: the man pages, the bash
// completion and the version line. Each must know every subcommand and
// option the program's own help lists, so none can drift from it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "build_version.h"
#include "child_process.h"
#include "tools/check/check.h"

namespace scenc {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::find_on_path;
using testing::read_file;

const std::string kScenarioc = std::string(SCENARIO_BIN_DIR) + "/scenarioc";
const std::string kCompletion =
    std::string(SCENARIO_SOURCE_DIR) + "/tools/scenarioc-completion.bash";

std::string help_of(const std::vector<std::string>& words) {
  std::vector<std::string> argv{kScenarioc};
  argv.insert(argv.end(), words.begin(), words.end());
  argv.push_back("--help");
  ChildProcess help(argv, {});
  EXPECT_EQ(help.wait_for_exit(10s), 0);
  return help.stdout_text();
}

// The first word of each line of a section of the help ("Options:",
// "Subcommands:"), its comma-separated names apart.
std::set<std::string> names_in(const std::string& help,
                               const std::string& section) {
  std::set<std::string> names;
  std::istringstream in(help);
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] != ' ') {
      inside = line == section;
      continue;
    }
    const auto first = line.find_first_not_of(' ');
    // Continuation lines of a long description are indented further.
    if (!inside || first != 2) continue;
    std::stringstream word(line.substr(first, line.find(' ', first) - first));
    for (std::string name; std::getline(word, name, ',');) names.insert(name);
  }
  return names;
}

// What the completion offers for the command line `words`, the last one
// being the word under the cursor, run in `directory`.
std::set<std::string> completions(const std::vector<std::string>& words,
                                  const fs::path& directory = ".") {
  std::vector<std::string> argv{
      "/bin/bash", "-c",
      "source \"$0\" && COMP_WORDS=(\"$@\") && COMP_CWORD=$(($# - 1)) && "
      "_scenarioc && printf '%s\\n' \"${COMPREPLY[@]}\"",
      kCompletion};
  argv.insert(argv.end(), words.begin(), words.end());
  ChildProcess bash(argv, {.environment = {}, .working_directory = directory});
  EXPECT_EQ(bash.wait_for_exit(10s), 0) << bash.stderr_text();
  std::set<std::string> offered;
  std::istringstream out(bash.stdout_text());
  for (std::string line; std::getline(out, line);) {
    if (!line.empty()) offered.insert(line);
  }
  return offered;
}

// "--line-name" as a man page writes it: "\-\-line\-name".
std::string in_roff(const std::string& text) {
  return std::regex_replace(text, std::regex("-"), "\\-");
}

TEST(ScenariocOptions, EveryOneIsInTheManPageAndTheCompletion) {
  const std::string page =
      read_file(fs::path(SCENARIO_SOURCE_DIR) / "docs/man/scenarioc.1");
  const std::string top = help_of({});
  const std::set<std::string> commands = names_in(top, "Subcommands:");
  ASSERT_GE(commands.size(), 5u);
  std::set<std::string> first_words = commands;
  for (const auto& option : names_in(top, "Options:")) {
    first_words.insert(option);
    EXPECT_NE(page.find(in_roff(option)), std::string::npos) << option;
  }
  EXPECT_EQ(completions({"scenarioc", ""}), first_words);

  for (const auto& command : commands) {
    SCOPED_TRACE(command);
    EXPECT_NE(page.find(".SS \"scenarioc " + command), std::string::npos);
    const std::set<std::string> options =
        names_in(help_of({command}), "Options:");
    ASSERT_FALSE(options.empty());
    EXPECT_EQ(completions({"scenarioc", command, "-"}), options);
    for (const auto& option : options) {
      EXPECT_NE(page.find(in_roff(option)), std::string::npos) << option;
    }
  }
}

TEST(Completion, OffersFilesByTheirKindAndTheValuesOfAnOption) {
  const testing::TemporaryDirectory temp("scenarioc-completion");
  const fs::path& dir = temp.path();
  ASSERT_FALSE(dir.empty());
  for (const char* file : {"a_linea.txt", "a_1-.txt", "a_1.sim", "a_1.dat",
                           "a_linea.dat", "line.svg", "notes.md"}) {
    std::ofstream(dir / file) << "x";
  }
  fs::create_directory(dir / "out");

  const struct {
    std::vector<std::string> words;
    std::set<std::string> offered;
  } cases[] = {
      // Sources to compile; the directory to look into.
      {{"scenarioc", "compile", ""}, {"a_linea.txt", "a_1-.txt", "out"}},
      {{"scenarioc", "check", "--json", "a_l"}, {"a_linea.txt"}},
      // Compiled files to dump or plot.
      {{"scenarioc", "dump", ""}, {"a_1.sim", "a_1.dat", "a_linea.dat", "out"}},
      {{"scenarioc", "plot", "a_1."}, {"a_1.sim", "a_1.dat"}},
      {{"scenarioc", "serve", "a_1."}, {"a_1.sim", "a_1.dat"}},
      {{"scenarioc", "watch", "a_"}, {"a_linea.txt", "a_1-.txt"}},
      // The value an option takes.
      {{"scenarioc", "dump", "--kind", ""}, {"cells", "slots", "geometry"}},
      {{"scenarioc", "compile", "-o", ""}, {"out"}},
      {{"scenarioc", "sources", "--output", ""}, {"out"}},
      {{"scenarioc", "watch", "-o", ""}, {"out"}},
      {{"scenarioc", "serve", "--port", ""}, {}},
      {{"scenarioc", "plot", "-o", ""}, {"line.svg", "out"}},
      {{"scenarioc", "compile", "--line-name", ""}, {}},
      {{"scenarioc", "co"}, {"compile"}},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const auto& w : c.words) line += w + " ";
    EXPECT_EQ(completions(c.words, dir), c.offered) << line;
  }
}

// -W completes the names of the warning table, as one word with -W or
// -Wno- before them, or as the word after a lone -W; a program named from
// the home directory is asked as well.
TEST(Completion, OffersTheWarningsOfTheTable) {
  std::set<std::string> joined{"-Werror"}, apart{"error"};
  for (const tools::WarningInfo& w : tools::kWarnings) {
    joined.insert("-W" + std::string(w.name));
    joined.insert("-Wno-" + std::string(w.name));
    apart.insert(std::string(w.name));
    apart.insert("no-" + std::string(w.name));
  }
  EXPECT_EQ(completions({kScenarioc, "check", "-W"}), joined);
  EXPECT_EQ(completions({kScenarioc, "compile", "a_linea.txt", "-W", ""}),
            apart);
  EXPECT_EQ(completions({kScenarioc, "check", "-Wno-repeated-r"}),
            std::set<std::string>{"-Wno-repeated-row"});
  if (const char* home = std::getenv("HOME")) {
    EXPECT_EQ(completions({"~/" + fs::relative(kScenarioc, home).string(),
                           "check", "-Werr"}),
              std::set<std::string>{"-Werror"});
  }
}

TEST(ManPages, ReadWithoutAFormatterWarning) {
  const std::string groff = find_on_path("groff");
  if (groff.empty())
    GTEST_SKIP() << "groff is not installed (scripts/install-deps)";
  for (const char* page : {"scenario.1", "scenarioc.1"}) {
    ChildProcess lint({groff, "-ww", "-man", "-z",
                       std::string(SCENARIO_MAN_DIR) + "/" + page},
                      {});
    EXPECT_EQ(lint.wait_for_exit(10s), 0) << page;
    EXPECT_EQ(lint.stderr_text(), "") << page;
  }
}

// The version line names the project's version and the commit built from.
TEST(BuildVersion, NamesTheProjectVersionAndTheCommit) {
  EXPECT_TRUE(std::regex_match(
      kBuildVersion,
      std::regex(
          std::regex_replace(SCENARIO_VERSION, std::regex("\\."), "\\.") +
          " \\(commit ([0-9a-f]{12}(-modified)?|unknown)\\)")))
      << kBuildVersion;
}

// The script that writes it, over trees with and without git.
TEST(BuildVersion, IsUnknownOutsideAGitCheckoutOfItsOwn) {
  const std::string git = find_on_path("git");
  if (git.empty()) GTEST_SKIP() << "git is not installed";
  const testing::TemporaryDirectory temp("scenario-version");
  const fs::path& dir = temp.path();
  ASSERT_FALSE(dir.empty());
  const auto run = [&](std::vector<std::string> argv) {
    ChildProcess child(std::move(argv),
                       {.environment = {}, .working_directory = dir});
    EXPECT_EQ(child.wait_for_exit(30s), 0) << child.stderr_text();
    return child.stdout_text();
  };
  const auto version_of = [&](const fs::path& tree) {
    run({SCENARIO_CMAKE_COMMAND, "-DSOURCE_DIR=" + tree.string(),
         "-DPROJECT_VERSION=9.8.7", "-DOUTPUT=" + (dir / "version.h").string(),
         "-P",
         std::string(SCENARIO_SOURCE_DIR) + "/cmake/build_version.cmake"});
    const std::string header = read_file(dir / "version.h");
    const auto start = header.find("\"9.8.7");
    return start == std::string::npos
               ? header
               : header.substr(start + 1,
                               header.find('"', start + 1) - start - 1);
  };

  const fs::path tree = dir / "tree";
  fs::create_directories(tree / "nested");
  EXPECT_EQ(version_of(tree), "9.8.7 (commit unknown)");

  run({git, "-C", tree.string(), "init", "-q"});
  std::ofstream(tree / "file") << "one";
  run({git, "-C", tree.string(), "add", "file"});
  run({git, "-C", tree.string(), "-c", "user.name=t", "-c", "user.email=t@t",
       "commit", "-q", "-m", "one"});
  std::string head =
      run({git, "-C", tree.string(), "rev-parse", "--short=12", "HEAD"});
  head = head.substr(0, head.find('\n'));
  ASSERT_EQ(head.size(), 12u);
  EXPECT_EQ(version_of(tree), "9.8.7 (commit " + head + ")");
  // A tree unpacked inside another checkout is not that checkout.
  EXPECT_EQ(version_of(tree / "nested"), "9.8.7 (commit unknown)");
  std::ofstream(tree / "file") << "two";
  EXPECT_EQ(version_of(tree), "9.8.7 (commit " + head + "-modified)");
}

}  // namespace
}  // namespace scenc
