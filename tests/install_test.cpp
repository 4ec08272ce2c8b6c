// The programs as an author gets them: installed into a prefix of their own
// (cmake --install) or unpacked from the Debian package (cpack, dpkg -x),
// then run from another directory with the build and source trees out of
// reach.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "build_version.h"
#include "child_process.h"
#ifdef SCENARIO_HAS_WINDOW
#include "window_watcher.h"
#endif

namespace scenc {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::EnvironmentChanges;
using testing::find_on_path;

// The files a clean run of the scenario program leaves beside itself.
const char* const kRunFiles[] = {
    "Firenze_Pisa_11711_note.txt",
    "Firenze_Pisa_11711_rallentamenti.txt",
    "Firenze_Pisa_11711_scheda_treno.txt",
    "Firenze_Pisa_linea.dat",
    "Firenze_Pisa_11711.sim",
    "Firenze_Pisa_11711.dat",
};

struct Outcome {
  std::optional<int> status;
  std::string out;
  std::string err;
};

// Where the system lets a test make a mount namespace of its own, the
// programs run with the build and source trees hidden behind empty
// directories, so that nothing can be found through them.
class OutOfReach {
 public:
  OutOfReach() {
    const std::string unshare = find_on_path("unshare");
    if (unshare.empty()) return;
    ChildProcess probe(
        {unshare, "--mount", "--", "/bin/sh", "-c",
         "mount -t tmpfs none \"$0\"", fs::temp_directory_path().string()},
        {});
    if (probe.wait_for_exit(10s) == 0) {
      prefix_ = {unshare,
                 "--mount",
                 "--",
                 "/bin/sh",
                 "-c",
                 kHide,
                 "sh",
                 SCENARIO_BUILD_DIR,
                 SCENARIO_SOURCE_DIR};
    }
  }
  bool hides_the_trees() const { return !prefix_.empty(); }

  // `argv` as a command that runs out of reach of the trees.
  std::vector<std::string> command(std::vector<std::string> argv) const {
    argv.insert(argv.begin(), prefix_.begin(), prefix_.end());
    return argv;
  }

  // Runs a program to its end from `directory`.
  Outcome run(std::vector<std::string> argv, const fs::path& directory,
              const EnvironmentChanges& environment) const {
    ChildProcess child(
        command(std::move(argv)),
        {.environment = environment, .working_directory = directory});
    Outcome r;
    r.status = child.wait_for_exit(120s);
    r.out = child.stdout_text();
    r.err = child.stderr_text();
    return r;
  }

 private:
  // Mounts an empty file system over each tree that still shows, then runs
  // the program.
  static constexpr const char* kHide =
      "for d in \"$1\" \"$2\"; do if [ -d \"$d\" ]; then mount -t tmpfs none "
      "\"$d\" || exit 97; fi; done; shift 2; exec \"$@\"";
  std::vector<std::string> prefix_;
};

// Runs a tool in the open, as the test's own step.
Outcome step(std::vector<std::string> argv) {
  ChildProcess child(std::move(argv), {});
  Outcome r;
  r.status = child.wait_for_exit(300s);
  r.out = child.stdout_text();
  r.err = child.stderr_text();
  return r;
}

std::string version_line(const std::string& program) {
  return program + " " + kBuildVersion + "\n";
}

// The program's dynamic section names no directory to search for
// libraries: none of the build, and not the working directory, which an
// empty entry of a search path stands for. The window module is loaded by
// its path from the program.
void expect_searches_no_directory(const fs::path& program) {
  const Outcome dynamic =
      step({find_on_path("readelf"), "-d", program.string()});
  ASSERT_EQ(dynamic.status, 0) << dynamic.err;
  EXPECT_EQ(dynamic.out.find(SCENARIO_BUILD_DIR), std::string::npos)
      << dynamic.out;
  EXPECT_EQ(dynamic.out.find("RUNPATH"), std::string::npos) << dynamic.out;
  EXPECT_EQ(dynamic.out.find("RPATH"), std::string::npos) << dynamic.out;
}

// The program or module carries no symbol table and no debugging sections:
// installed stripped, as the Debian package has it.
void expect_stripped(const fs::path& file) {
  const Outcome sections =
      step({find_on_path("readelf"), "-S", "-W", file.string()});
  ASSERT_EQ(sections.status, 0) << sections.err;
  for (const char* section : {".symtab", ".debug_"}) {
    EXPECT_EQ(sections.out.find(section), std::string::npos)
        << file << " has " << section;
  }
}

// Runs the installed scenario program from another directory: its files
// land beside it, none in the working directory.
void expect_builds_beside_itself(const OutOfReach& reach, const fs::path& bin,
                                 const fs::path& elsewhere) {
  const Outcome build = reach.run({(bin / "scenario").string()}, elsewhere,
                                  {{"DISPLAY", std::nullopt}});
  ASSERT_EQ(build.status, 0) << build.err;
  for (const char* file : kRunFiles)
    EXPECT_TRUE(fs::exists(bin / file)) << file;
  EXPECT_TRUE(fs::is_empty(elsewhere));
}

TEST(Installed, ProgramsRunFromAnotherDirectoryWithTheBuildOutOfReach) {
  const testing::TemporaryDirectory temp("scenario-install");
  ASSERT_FALSE(temp.path().empty());
  const fs::path staged = temp.path() / "staged";
  const Outcome install =
      step({SCENARIO_CMAKE_COMMAND, "--install", SCENARIO_BUILD_DIR, "--prefix",
            staged.string()});
  ASSERT_EQ(install.status, 0) << install.out << install.err;
  // Moved after installing: nothing may name the prefix it was installed to.
  const fs::path prefix = temp.path() / "moved";
  fs::rename(staged, prefix);
  for (const char* file :
       {"bin/scenario", "bin/scenarioc", "share/man/man1/scenario.1.gz",
        "share/man/man1/scenarioc.1.gz",
        "share/bash-completion/completions/scenarioc",
        "share/doc/" SCENARIO_PACKAGE_NAME "/formats/README.md",
        "share/doc/" SCENARIO_PACKAGE_NAME "/copyright",
        "share/doc/" SCENARIO_PACKAGE_NAME "/changelog.gz",
        "share/doc/" SCENARIO_PACKAGE_NAME "/editors/README.md",
        "share/doc/" SCENARIO_PACKAGE_NAME
        "/editors/vscode/scenario-sources.tmLanguage.json"}) {
    EXPECT_TRUE(fs::is_regular_file(prefix / file)) << file;
  }
#ifdef SCENARIO_HAS_WINDOW
  EXPECT_TRUE(
      fs::is_regular_file(prefix / SCENARIO_MODULE_DIR / "scenario_window.so"));
#endif
  expect_searches_no_directory(prefix / "bin/scenario");
  expect_searches_no_directory(prefix / "bin/scenarioc");
  expect_stripped(prefix / "bin/scenario");
  expect_stripped(prefix / "bin/scenarioc");
#ifdef SCENARIO_HAS_WINDOW
  expect_stripped(prefix / SCENARIO_MODULE_DIR / "scenario_window.so");
#endif

  const OutOfReach reach;
  if (!reach.hides_the_trees()) {
    std::cout
        << "[ NOTE     ] no mount namespace here: the build tree stays "
           "visible; the moved prefix and the program's dynamic section show\n";
  }
  const fs::path bin = prefix / "bin";
  const fs::path author = temp.path() / "author";
  fs::create_directories(author);
  for (const char* program : {"scenario", "scenarioc"}) {
    const Outcome version =
        reach.run({(bin / program).string(), "--version"}, author, {});
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out, version_line(program));
  }
  Outcome r = reach.run({(bin / "scenarioc").string(), "sources", "-o", "mine"},
                        author, {});
  ASSERT_EQ(r.status, 0) << r.err;
  r = reach.run(
      {(bin / "scenarioc").string(), "compile", "mine/Firenze_Pisa_linea.txt",
       "mine/Firenze_Pisa_11711-.txt", "-o", "out"},
      author, {});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* file : {"Firenze_Pisa_linea.dat", "Firenze_Pisa_11711.sim",
                           "Firenze_Pisa_11711.dat"}) {
    EXPECT_TRUE(fs::is_regular_file(author / "out" / file)) << file;
  }

  const fs::path elsewhere = temp.path() / "elsewhere";
  fs::create_directories(elsewhere);
  expect_builds_beside_itself(reach, bin, elsewhere);

#ifdef SCENARIO_HAS_WINDOW
  // On a display, the window module comes from the installed prefix and the
  // waiting window goes up.
  testing::VirtualDisplay display;
  if (!display.start())
    GTEST_SKIP() << "Xvfb did not come up (scripts/install-deps)";
  testing::WindowWatcher watcher(display.name());
  ASSERT_TRUE(watcher.watching());
  ChildProcess shown(
      reach.command({(bin / "scenario").string()}),
      {.environment = {{"DISPLAY", display.name()}, {"LD_DEBUG", "files"}},
       .working_directory = elsewhere});
  // The window is up only while the run works: its name is read as it maps.
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!shown.poll_exit() && std::chrono::steady_clock::now() < deadline) {
    watcher.pump();
    std::this_thread::sleep_for(10ms);
  }
  watcher.pump();
  ASSERT_EQ(shown.wait_for_exit(10s), 0) << shown.stderr_text();
  // The loader reports the module by the path it was loaded from: the
  // package's module directory in the prefix the program runs from.
  const std::string module =
      (prefix / SCENARIO_MODULE_DIR / "scenario_window.so").string();
  EXPECT_NE(shown.stderr_text().find("calling init: " + module),
            std::string::npos)
      << shown.stderr_text();
  EXPECT_NE(watcher.mapped("Form1"), nullptr) << "no waiting window was shown";
#endif
}

TEST(DebianPackage, UnpacksIntoAThrowawayRootAndRuns) {
  for (const char* tool : {"dpkg-deb", "dpkg-shlibdeps", "man"}) {
    if (find_on_path(tool).empty()) {
      GTEST_SKIP() << tool << " is not installed (scripts/install-deps)";
    }
  }
  const testing::TemporaryDirectory temp("scenario-deb");
  ASSERT_FALSE(temp.path().empty());
  const fs::path packages = temp.path() / "packages";
  const Outcome pack =
      step({SCENARIO_CPACK_COMMAND, "-G", "DEB", "--config",
            SCENARIO_BUILD_DIR "/CPackConfig.cmake", "-B", packages.string()});
  ASSERT_EQ(pack.status, 0) << pack.out << pack.err;
  std::vector<fs::path> debs;
  for (const auto& entry : fs::directory_iterator(packages)) {
    if (entry.path().extension() == ".deb") debs.push_back(entry.path());
  }
  ASSERT_EQ(debs.size(), 1u) << pack.out;
  const std::string deb = debs[0].string();

  // The dependencies are computed from the libraries the programs link.
  const Outcome fields = step({find_on_path("dpkg-deb"), "--field", deb,
                               "Package", "Version", "Depends"});
  ASSERT_EQ(fields.status, 0) << fields.err;
  EXPECT_NE(fields.out.find("Package: " SCENARIO_PACKAGE_NAME "\n"),
            std::string::npos);
  EXPECT_NE(fields.out.find("Version: " SCENARIO_VERSION "\n"),
            std::string::npos);
  // The programs carry the C++ library; the window module does not.
  for (const char* library : {"libc6"
#ifdef SCENARIO_HAS_WINDOW
                              ,
                              "libstdc++6", "libfltk1.3"
#endif
       }) {
    EXPECT_NE(fields.out.find(library), std::string::npos) << fields.out;
  }

  // Debian's own checker finds nothing to mend but the one call CPack adds
  // for any module under /usr/lib, to the linker cache, which a module in a
  // directory of the package's own does not need.
  const std::string lintian = find_on_path("lintian");
  if (lintian.empty()) {
    ADD_FAILURE() << "lintian is not installed (scripts/install-deps --tests)";
  } else {
    const Outcome lint =
        step({lintian, "--allow-root", "--no-tag-display-limit", deb});
    std::istringstream lines(lint.out);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_NE(line.find("maintscript-calls-ldconfig"), std::string::npos)
          << line;
    }
  }

  const fs::path root = temp.path() / "root";
  const Outcome unpack =
      step({find_on_path("dpkg-deb"), "-x", deb, root.string()});
  ASSERT_EQ(unpack.status, 0) << unpack.err;

  const OutOfReach reach;
  const fs::path elsewhere = temp.path() / "elsewhere";
  fs::create_directories(elsewhere);
  const Outcome version = reach.run(
      {(root / "usr/bin/scenarioc").string(), "--version"}, elsewhere, {});
  EXPECT_EQ(version.status, 0) << version.err;
  EXPECT_EQ(version.out, version_line("scenarioc"));
  expect_builds_beside_itself(reach, root / "usr/bin", elsewhere);

  EXPECT_TRUE(fs::is_regular_file(root / "usr/share/doc" /
                                  SCENARIO_PACKAGE_NAME / "copyright"));
  expect_stripped(root / "usr/bin/scenario");

  // Each installed page reads without a warning of the formatter.
  for (const char* page : {"scenario", "scenarioc"}) {
    const fs::path file =
        root / "usr/share/man/man1" / (std::string(page) + ".1.gz");
    const Outcome man = reach.run(
        {find_on_path("man"), "--warnings", "-l", file.string()}, elsewhere,
        {{"MANWIDTH", "80"},
         {"MANPAGER", "cat"},
         {"PAGER", "cat"},
         {"LC_ALL", "C.UTF-8"}});
    EXPECT_EQ(man.status, 0) << page;
    EXPECT_EQ(man.err, "") << page;
    EXPECT_NE(man.out.find(std::string(page) + " - "), std::string::npos)
        << man.out;
  }
}

// The sh command of the README section `heading`.
std::string readme_command(const std::string& heading) {
  const std::string readme =
      testing::read_file(std::string(SCENARIO_SOURCE_DIR) + "/README.md");
  std::smatch m;
  std::regex_search(readme, m,
                    std::regex("## " + heading + "[\\s\\S]*?```sh\n([^\n]*)"));
  return m.empty() ? std::string() : m[1].str();
}

// The packages `scripts/install-deps` would install, with `arguments`.
std::set<std::string> install_deps_list(std::vector<std::string> arguments) {
  arguments.insert(
      arguments.begin(),
      {std::string(SCENARIO_SOURCE_DIR) + "/scripts/install-deps", "--list"});
  const Outcome listed = step(arguments);
  EXPECT_EQ(listed.status, 0) << listed.err;
  std::set<std::string> packages;
  std::istringstream lines(listed.out);
  for (std::string line; std::getline(lines, line);) packages.insert(line);
  return packages;
}

// The README's build command builds only the two programs. Whatever the
// install takes from the build tree besides them (the man pages, the
// changelog) must exist once the tree is configured or be made by building
// those targets, so that the README's install and packaging work after it.
// A fresh tree is configured and the build of the README's targets asked
// what it would do.
TEST(Installed, WhatTheReadmeBuildsIsAllTheInstallTakes) {
  const std::string command = readme_command("Build and run");
  std::smatch targets_match;
  ASSERT_TRUE(std::regex_search(command, targets_match,
                                std::regex("--target ([^&]*[^ &])")))
      << command;
  std::vector<std::string> targets;
  std::istringstream words(targets_match[1].str());
  for (std::string word; words >> word;) targets.push_back(word);

  const testing::TemporaryDirectory temp("scenario-fresh");
  ASSERT_FALSE(temp.path().empty());
  const fs::path tree = temp.path() / "build";
  const Outcome configure =
      step({SCENARIO_CMAKE_COMMAND, "-S", SCENARIO_SOURCE_DIR, "-B",
            tree.string(), "-DBUILD_TESTING=OFF"});
  ASSERT_EQ(configure.status, 0) << configure.out << configure.err;
  std::vector<std::string> dry_run = {SCENARIO_CMAKE_COMMAND, "--build",
                                      tree.string(), "--target"};
  dry_run.insert(dry_run.end(), targets.begin(), targets.end());
  dry_run.insert(dry_run.end(), {"--", "-n"});
  // The dry run stops where a step needs what an earlier one would have
  // made; the targets' prerequisites, which make the documents, come first.
  const Outcome would = step(dry_run);

  // Every file of the tree that an install rule names, but the programs.
  const std::string rules = testing::read_file(tree / "cmake_install.cmake");
  const std::regex named("\"" + tree.string() + "/([^\"]+)\"");
  int checked = 0;
  for (std::sregex_iterator it(rules.begin(), rules.end(), named), end;
       it != end; ++it) {
    const std::string file = (*it)[1];
    if (file.starts_with("bin/") || file.find('/') == std::string::npos) {
      continue;
    }
    ++checked;
    EXPECT_TRUE(fs::exists(tree / file) ||
                would.out.find("Generating " + file) != std::string::npos)
        << file << " is installed but not made by building " << targets_match[1]
        << "\n"
        << would.out;
  }
  EXPECT_GE(checked, 4);
}

// The README's build-and-run command installs what building and running
// need; its test command, which CI runs as it stands, adds what the tests
// need. Building and running, with everything those packages depend on,
// bring no browser, editor, X server, Node.js or test tool onto a fresh
// machine: shown with the dependencies as the package lists tell them.
TEST(InstallDeps, BuildingAndRunningBringNoTestTool) {
  EXPECT_NE(readme_command("Build and run").find("scripts/install-deps && "),
            std::string::npos);
  const std::string test_command = readme_command("Build and test");
  EXPECT_TRUE(test_command.starts_with("scripts/install-deps --tests && "))
      << test_command;
  EXPECT_NE(testing::read_file(std::string(SCENARIO_SOURCE_DIR) + "/.ci/run")
                .find(test_command),
            std::string::npos)
      << ".ci/run does not run the README's test command";

  const std::set<std::string> building = install_deps_list({});
  const std::set<std::string> testing = install_deps_list({"--tests"});
  EXPECT_TRUE(std::includes(testing.begin(), testing.end(), building.begin(),
                            building.end()));
  for (const char* tool : {"libgtest-dev", "xvfb", "chromium", "neovim"}) {
    EXPECT_EQ(testing.count(tool), 1u) << tool;
  }

  std::set<std::string> brought = building;
  const std::string apt_cache = find_on_path("apt-cache");
  if (!apt_cache.empty()) {
    std::vector<std::string> depends = {
        apt_cache,         "depends",       "--recurse",
        "--no-recommends", "--no-suggests", "--no-conflicts",
        "--no-breaks",     "--no-replaces", "--no-enhances"};
    depends.insert(depends.end(), building.begin(), building.end());
    const Outcome closure = step(depends);
    std::istringstream lines(closure.out);
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line[0] != ' ') brought.insert(line);
    }
    EXPECT_GT(brought.size(), building.size() * 4) << closure.err;
  } else {
    std::cout << "[ NOTE     ] no apt-cache here: only the lists themselves "
                 "are checked\n";
  }
  const std::regex unwanted(
      "chromium.*|firefox.*|neovim.*|vim.*|emacs.*|nano|xvfb|xserver-.*|"
      "nodejs|npm|imagemagick.*|googletest|libgtest-dev|libgmock-dev|"
      "libbenchmark-dev|xdotool|lintian|clang.*|librsvg2-bin");
  for (const std::string& package : brought) {
    EXPECT_FALSE(std::regex_match(package, unwanted)) << package;
  }
}

}  // namespace
}  // namespace scenc
