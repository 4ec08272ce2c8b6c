// The scenario program on a failing disk, run as a real process: a program
// directory it may not write, and a file-size limit that stops the line
// geometry part-way (an output name taken by a directory is run in
// file_system_test.cpp). Each run ends with status 3 and one line naming the
// file and the reason, and the files of an earlier run are still whole
// afterwards, with no temporary file left. A run ended by a signal leaves no
// temporary either, and a run removes those that killed runs left.
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "child_process.h"
#include "embedded_run.h"
#include "scenario/emitters.h"
#include "testing/generate_scenario.h"

namespace scenc {
namespace {

namespace fs = std::filesystem;

// Every file a run writes or reads, as an earlier run might have left it.
std::set<std::string> scenario_files() {
  std::set<std::string> names = testing::files_of_a_run();
  names.insert({"Firenze_Pisa_linea.txt", "Firenze_Pisa_11711-.txt"});
  return names;
}

using testing::read_file;

// Root writes into any directory: the child runs as nobody, to whom the
// program directory (owned by root, mode 0555) is read-only.
bool run_as_nobody() {
  return ::geteuid() != 0 || (::setgroups(0, nullptr) == 0 &&
                              ::setgid(65534) == 0 && ::setuid(65534) == 0);
}

// A write past the 1 MB limit must fail with EFBIG even where the limit's
// signal would end the program: the programs ignore it themselves.
bool limit_file_size() {
  std::signal(SIGXFSZ, SIG_DFL);
  const rlimit limit{1 << 20, 1 << 20};
  return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// The signals that end a run from outside take their default action in the
// child, even when the tests were started ignoring some of them.
bool default_signals() {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    std::signal(signal_number, SIG_DFL);
  }
  return true;
}

struct Outcome {
  std::optional<int> status;  // 128 + the signal when one ended the program
  std::string err;            // what it wrote on standard error
};

class DiskFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern =
        (fs::temp_directory_path() / "scenc-disk.XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    root = pattern;
    // Another identity must be able to reach the program (see run()).
    fs::permissions(root, fs::perms::owner_all | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read |
                              fs::perms::others_exec);
    program_dir = root / "program";
    fs::create_directory(program_dir);
    fs::copy_file(fs::path(SCENARIO_BIN_DIR) / "scenario",
                  program_dir / "scenario");
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(program_dir, fs::perms::owner_all, fs::perm_options::add,
                    ec);
    fs::remove_all(root, ec);
  }

  // Leaves a file of an earlier run under every name, and returns them.
  std::map<std::string, std::string> leave_earlier_files() {
    std::map<std::string, std::string> earlier;
    for (const std::string& name : scenario_files()) {
      earlier[name] = "earlier " + name;
      std::ofstream(program_dir / name, std::ios::binary) << earlier[name];
    }
    return earlier;
  }

  std::set<std::string> names_in_program_dir() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(program_dir)) {
      names.insert(e.path().filename().string());
    }
    return names;
  }

  // Runs the copied program to its end, held back by `prepare`.
  Outcome run(bool (*prepare)() = nullptr,
              std::vector<std::string> argv = {"scenario"}) const {
    argv[0] = (program_dir / argv[0]).string();
    testing::ChildProcess child(
        std::move(argv),
        {.environment = {{"DISPLAY", std::nullopt}}, .prepare = prepare});
    Outcome r;
    r.status = child.wait_for_exit(std::chrono::minutes(2));
    r.err = child.stderr_text();
    return r;
  }

  // The one line a failed file operation leaves on standard error.
  std::string failure_line(const char* name, int reason,
                           const fs::path& dir = {}) const {
    return ((dir.empty() ? program_dir : dir) / name).string() + ": " +
           std::strerror(reason) + "\n";
  }

  // Writes the sources of the largest scenario beside the program
  // directory, copies scenarioc into it, and returns the sources' paths.
  std::pair<std::string, std::string> write_maximal_sources() const {
    fs::copy_file(fs::path(SCENARIO_BIN_DIR) / "scenarioc",
                  program_dir / "scenarioc");
    const bench::MaximalScenario maximal = bench::generate_maximal_scenario();
    const fs::path line = root / "Massima_linea.txt";
    const fs::path train = root / "Massima_10001-.txt";
    std::ofstream(line, std::ios::binary) << maximal.line_source;
    std::ofstream(train, std::ios::binary) << maximal.train_source;
    return {line.string(), train.string()};
  }

  // Writes the embedded scenario's sources beside the program directory,
  // copies scenarioc into it, and returns the sources' paths.
  std::pair<std::string, std::string> write_embedded_sources() const {
    fs::copy_file(fs::path(SCENARIO_BIN_DIR) / "scenarioc",
                  program_dir / "scenarioc");
    const fs::path line = root / "Firenze_Pisa_linea.txt";
    const fs::path train = root / "Firenze_Pisa_11711-.txt";
    std::ofstream(line, std::ios::binary) << embedded_line_source();
    std::ofstream(train, std::ios::binary) << embedded_train_source();
    return {line.string(), train.string()};
  }

  // Leaves files of an earlier compile of the largest scenario in `out`,
  // each holding "earlier", and returns their names.
  static std::set<std::string> leave_earlier_maximal_files(
      const fs::path& out) {
    fs::create_directories(out);
    const std::set<std::string> names = {
        "Massima_linea.dat", "Massima_10001.sim", "Massima_10001.dat"};
    for (const auto& name : names) std::ofstream(out / name) << "earlier";
    return names;
  }

  // The names in `dir` of files that still hold "earlier", and of any
  // other file there.
  static std::set<std::string> untouched_names(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) {
      const std::string name = e.path().filename().string();
      names.insert(read_file(e.path()) == "earlier" ? name
                                                    : name + " (changed)");
    }
    return names;
  }

  fs::path root;
  fs::path program_dir;
};

TEST_F(DiskFaultsTest, ProgramDirectoryThatCannotBeWritten) {
  const auto earlier = leave_earlier_files();
  fs::permissions(program_dir,
                  fs::perms::owner_read | fs::perms::owner_exec |
                      fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec);
  const Outcome r = run(run_as_nobody);
  EXPECT_EQ(r.status, 3) << r.err;
  // The first file of the run is the lock file of the directory's runs.
  EXPECT_EQ(r.err, failure_line(".scenario.lock", EACCES));
  for (const auto& [name, bytes] : earlier) {
    EXPECT_EQ(read_file(program_dir / name), bytes) << name;
  }
  std::set<std::string> expected{"scenario"};
  for (const auto& e : earlier) expected.insert(e.first);
  EXPECT_EQ(names_in_program_dir(), expected);
}

TEST_F(DiskFaultsTest, FileSizeLimitStopsTheLineGeometryPartWay) {
  // The documents and sources are small; the line geometry (1779964 bytes)
  // passes the 1 MB limit.
  const auto earlier = leave_earlier_files();
  const Outcome r = run(limit_file_size);
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_EQ(r.err, failure_line("Firenze_Pisa_linea.dat", EFBIG));
  for (const char* name : {"Firenze_Pisa_linea.dat", "Firenze_Pisa_11711.sim",
                           "Firenze_Pisa_11711.dat"}) {
    EXPECT_EQ(read_file(program_dir / name), earlier.at(name)) << name;
  }
  // The documents were replaced and the sources compiled and removed.
  EXPECT_NE(read_file(program_dir / "Firenze_Pisa_11711_note.txt"),
            earlier.at("Firenze_Pisa_11711_note.txt"));
  EXPECT_EQ(names_in_program_dir(),
            (std::set<std::string>{
                "scenario", ".scenario.lock", "Firenze_Pisa_11711_note.txt",
                "Firenze_Pisa_11711_rallentamenti.txt",
                "Firenze_Pisa_11711_scheda_treno.txt", "Firenze_Pisa_linea.dat",
                "Firenze_Pisa_11711.sim", "Firenze_Pisa_11711.dat"}));
}

// The same faults when an author compiles into a directory of their own.
TEST_F(DiskFaultsTest, ScenariocCompileIntoAFailingDirectory) {
  fs::copy_file(fs::path(SCENARIO_BIN_DIR) / "scenarioc",
                program_dir / "scenarioc");
  const fs::path sources = root / "sources";
  fs::create_directory(sources);
  std::ofstream(sources / "Firenze_Pisa_linea.txt", std::ios::binary)
      << embedded_line_source();
  std::ofstream(sources / "Firenze_Pisa_11711-.txt", std::ios::binary)
      << embedded_train_source();
  const fs::path out = root / "out";
  // The line geometry is the first file written and the largest.
  const struct {
    const char* what;
    bool (*prepare)();
    fs::perms out_perms;
    int reason;
  } cases[] = {
      {"a directory it may not write", run_as_nobody,
       fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
           fs::perms::group_exec | fs::perms::others_read |
           fs::perms::others_exec,
       EACCES},
      {"a file-size limit", limit_file_size, fs::perms::owner_all, EFBIG},
  };
  const char* const binary_files[] = {"Firenze_Pisa_linea.dat",
                                      "Firenze_Pisa_11711.sim",
                                      "Firenze_Pisa_11711.dat"};
  for (const auto& k : cases) {
    fs::remove_all(out);
    fs::create_directory(out);
    for (const char* name : binary_files) {
      std::ofstream(out / name, std::ios::binary) << "earlier " << name;
    }
    fs::permissions(out, k.out_perms);
    const Outcome r = run(
        k.prepare,
        {"scenarioc", "compile", (sources / "Firenze_Pisa_linea.txt").string(),
         (sources / "Firenze_Pisa_11711-.txt").string(), "-o", out.string()});
    fs::permissions(out, fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(r.status, 3) << k.what << ": " << r.err;
    EXPECT_EQ(r.err, "scenarioc: error: cannot write " +
                         failure_line("Firenze_Pisa_linea.dat", k.reason, out))
        << k.what;
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(out)) {
      left.insert(e.path().filename().string());
      EXPECT_EQ(read_file(e.path()), "earlier " + e.path().filename().string())
          << k.what;
    }
    EXPECT_EQ(left, std::set<std::string>(std::begin(binary_files),
                                          std::end(binary_files)))
        << k.what;
  }
}

TEST_F(DiskFaultsTest, ARunRemovesTheTemporariesThatKilledRunsLeft) {
  const std::string gone = std::to_string(testing::ended_process());
  const std::string alive = std::to_string(::getpid());
  const std::vector<std::string> stale = {
      ".Firenze_Pisa_linea.txt." + gone + ".0.tmp",
      ".Firenze_Pisa_11711_note.txt." + gone + ".0.tmp",
      ".Firenze_Pisa_linea.dat." + gone + ".12.tmp",
      ".Firenze_Pisa_11711.dat." + gone + ".0.tmp",
  };
  const std::vector<std::string> kept = {
      // Its process still runs.
      ".Firenze_Pisa_11711.dat." + alive + ".0.tmp",
      // Not exactly a temporary's name, or one of a file no run writes here.
      ".Firenze_Pisa_11711.dat." + gone + ".tmp",
      ".Firenze_Pisa_11711.dat." + gone + ".0.tmp.old",
      ".Firenze_Pisa_11711.dat.x" + gone + ".0.tmp",
      "Firenze_Pisa_11711.dat." + gone + ".0.tmp",
      ".Roma_11711.dat." + gone + ".0.tmp",
  };
  for (const auto& name : stale) std::ofstream(program_dir / name) << "cut";
  for (const auto& name : kept) std::ofstream(program_dir / name) << "cut";
  const Outcome r = run();
  EXPECT_EQ(r.status, 0) << r.err;
  for (const auto& name : stale)
    EXPECT_FALSE(fs::exists(program_dir / name)) << name;
  for (const auto& name : kept)
    EXPECT_TRUE(fs::exists(program_dir / name)) << name;
}

// An interrupt, a termination or a hang-up while a file is being written
// ends the program as the signal says, and takes its temporary file along.
// The largest scenario's geometry file takes long enough to write that the
// signal, sent as its temporary appears, nearly always finds it unfinished.
TEST_F(DiskFaultsTest, ASignalWhileWritingLeavesNoTemporary) {
  const auto [line, train] = write_maximal_sources();
  const fs::path out = root / "out";
  const std::set<std::string> binary_files = leave_earlier_maximal_files(out);

  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    bool ended_by_signal = false;
    for (int attempt = 0; attempt < 20 && !ended_by_signal; ++attempt) {
      const int watch = ::inotify_init1(IN_CLOEXEC);
      ASSERT_GE(watch, 0);
      ASSERT_GE(::inotify_add_watch(watch, out.c_str(), IN_CREATE), 0);
      testing::ChildProcess child({(program_dir / "scenarioc").string(),
                                   "compile", line, train, "-o", out.string()},
                                  {.environment = {{"DISPLAY", std::nullopt}},
                                   .prepare = default_signals});
      pollfd created{watch, POLLIN, 0};
      if (::poll(&created, 1, 20000) == 1) ::kill(child.pid(), signal_number);
      ::close(watch);
      const auto status = child.wait_for_exit(std::chrono::minutes(1));
      ASSERT_TRUE(status);
      if (*status == 0) continue;  // the run was done before the signal came
      EXPECT_EQ(*status, 128 + signal_number) << child.stderr_text();
      ended_by_signal = true;
    }
    EXPECT_TRUE(ended_by_signal) << "signal " << signal_number;
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(out)) {
      left.insert(e.path().filename().string());
    }
    EXPECT_EQ(left, binary_files) << "signal " << signal_number;
  }
}

// The two sources exist only while a run compiles them: an interrupt, a
// termination or a hang-up that ends a run removes them, whenever it comes.
// The signal is sent as the line source appears, and a little later run
// after run, so that it falls before, while and after the sources exist.
TEST_F(DiskFaultsTest, ASignalNeverLeavesTheSourcesBehind) {
#ifdef SCENARIO_SANITIZED
  constexpr int kRuns = 15;
#else
  constexpr int kRuns = 60;
#endif
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    int ended_by_signal = 0;
    for (int attempt = 0; attempt < kRuns; ++attempt) {
      SCOPED_TRACE("signal " + std::to_string(signal_number) + ", run " +
                   std::to_string(attempt));
      const int watch = ::inotify_init1(IN_CLOEXEC);
      ASSERT_GE(watch, 0);
      ASSERT_GE(::inotify_add_watch(watch, program_dir.c_str(), IN_MOVED_TO),
                0);
      testing::ChildProcess child({(program_dir / "scenario").string()},
                                  {.environment = {{"DISPLAY", std::nullopt}},
                                   .prepare = default_signals});
      pollfd moved{watch, POLLIN, 0};
      if (::poll(&moved, 1, 20000) == 1) {
        ::usleep(static_cast<useconds_t>(attempt % 6) * 300);
        ::kill(child.pid(), signal_number);
      }
      ::close(watch);
      const auto status = child.wait_for_exit(std::chrono::minutes(1));
      ASSERT_TRUE(status);
      if (*status == 128 + signal_number)
        ++ended_by_signal;
      else
        EXPECT_EQ(*status, 0) << child.stderr_text();
      std::set<std::string> left = names_in_program_dir();
      for (const std::string& name : testing::files_of_a_run())
        left.erase(name);
      EXPECT_EQ(left,
                (std::set<std::string>{"scenario", testing::kRunLockFile}));
    }
    EXPECT_GT(ended_by_signal, kRuns / 2) << "signal " << signal_number;
  }
}

// A name as long as a directory entry may be: `--line-name` of 235 and 245
// characters makes the line geometry's name 245 and 255 bytes long.
TEST_F(DiskFaultsTest, ScenariocCompilesUnderTheLongestNames) {
  const auto [line, train] = write_embedded_sources();
  for (const std::size_t length : {235u, 245u}) {
    const std::string name(length, 'L');
    const fs::path out = root / ("out" + std::to_string(length));
    const Outcome r =
        run(nullptr, {"scenarioc", "compile", line, train, "-o", out.string(),
                      "--line-name", name, "--train-number", "11711"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::set<std::string> written;
    for (const auto& e : fs::directory_iterator(out)) {
      written.insert(e.path().filename().string());
    }
    EXPECT_EQ(written,
              (std::set<std::string>{name + "_linea.dat", name + "_11711.sim",
                                     name + "_11711.dat"}));
  }
}

// The address space a child may use, set before it starts.
rlim_t address_space_limit = RLIM_INFINITY;
bool limit_address_space() {
  const rlimit limit{address_space_limit, address_space_limit};
  return ::setrlimit(RLIMIT_AS, &limit) == 0;
}

// Memory that runs out is no fault of the sources. At every address-space
// limit below the least that the compile of the largest scenario needs, the
// run ends with one line and status 3, leaves no temporary, and never
// writes a file from a half-built model (it once took the failure for fault
// 25 and did): each file holds what it held before, or the whole of what a
// run with room writes there. The author check, which runs beside the
// writing, may be the one to run out after the files are in place.
TEST_F(DiskFaultsTest, MemoryThatRunsOutEndsTheRunWithoutAHalfWrittenFile) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than "
                  "any limit leaves";
#endif
  const auto [line, train] = write_maximal_sources();
  const fs::path out = root / "out";
  const auto compile = [&](rlim_t megabytes) {
    address_space_limit = megabytes << 20;
    return run(limit_address_space,
               {"scenarioc", "compile", line, train, "-o", out.string()});
  };
  rlim_t low = 8, high = 1024;
  ASSERT_EQ(compile(high).status, 0);
  std::map<std::string, std::string> whole;
  for (const auto& e : fs::directory_iterator(out)) {
    whole[e.path().filename().string()] = read_file(e.path());
  }
  ASSERT_EQ(whole.size(), 3u);
  // The least address space in which the compile goes through, to the
  // megabyte.
  while (high - low > 1) {
    const rlim_t middle = (low + high) / 2;
    (compile(middle).status == 0 ? high : low) = middle;
  }

  int ran_out = 0;
  for (rlim_t limit = high - 1; limit > 8 && limit + 32 > high; --limit) {
    SCOPED_TRACE(std::to_string(limit) + " MB");
    leave_earlier_maximal_files(out);
    const Outcome r = compile(limit);
    if (r.status == 0) continue;  // threads took less room this time
    ++ran_out;
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(r.err, "scenarioc: error: out of memory\n");
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(out)) {
      const std::string name = e.path().filename().string();
      names.insert(name);
      const std::string bytes = read_file(e.path());
      EXPECT_TRUE(bytes == "earlier" || bytes == whole[name]) << name;
    }
    EXPECT_EQ(names.size(), 3u) << "a temporary was left";
  }
  EXPECT_GT(ran_out, 0);
}

// Memory that runs out anywhere in a run, even where too little is left to
// throw, ends it with status 3 and one line, never with an abort (it once
// ended with "terminate called without an active exception"). A sweep of
// address-space limits two pages apart, from the least at which the program
// starts (the dynamic loader itself needs some) up to the least at which it
// succeeds: every run ends 0 or 3, leaves no temporary and no source, and
// each file holds what it held before or the whole of what a run writes.
class AddressSpaceSweep : public DiskFaultsTest {
 protected:
  // The least limit, to the page, at which `holds` (true at `high`).
  template <typename Holds>
  static rlim_t least_limit(rlim_t low, rlim_t high, Holds holds) {
    while (high - low > 4096) {
      const rlim_t middle = (low + high) / 2 / 4096 * 4096;
      (holds(middle) ? high : low) = middle;
    }
    return high;
  }

  Outcome run_limited(rlim_t limit, std::vector<std::string> argv) const {
    address_space_limit = limit;
    return run(limit_address_space, std::move(argv));
  }

  // Sweeps `argv`, which writes `files` into `dir`, and returns the number
  // of runs that ran out.
  int sweep(std::vector<std::string> argv, const fs::path& dir,
            const std::set<std::string>& files, const std::string& line) {
    std::vector<std::string> version = {argv[0], "--version"};
    const rlim_t start = least_limit(256 << 10, 256 << 20, [&](rlim_t limit) {
      const auto status = run_limited(limit, version).status;
      return status == 0 || status == 3;
    });
    rlim_t enough = least_limit(start, 256 << 20, [&](rlim_t limit) {
      return run_limited(limit, argv).status == 0;
    });
    // The files of a run with room, from a limit where it goes through
    // again.
    for (int tries = 0; tries < 64 && run_limited(enough, argv).status != 0;
         ++tries) {
      enough += 4096;
    }
    std::map<std::string, std::string> whole;
    for (const std::string& name : files) whole[name] = read_file(dir / name);
    int ran_out = 0;
    for (rlim_t limit = start; limit <= enough; limit += 8192) {
      SCOPED_TRACE(std::to_string(limit >> 10) + " KiB");
      for (const std::string& name : files) {
        std::ofstream(dir / name, std::ios::binary) << "earlier";
      }
      const Outcome r = run_limited(limit, argv);
      if (r.status != 0) {
        ++ran_out;
        EXPECT_EQ(r.status, 3);
        EXPECT_EQ(r.err, line);
      }
      std::set<std::string> left;
      for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (files.count(name) == 0) {
          left.insert(name);
          continue;
        }
        const std::string bytes = read_file(e.path());
        EXPECT_TRUE(bytes == "earlier" || bytes == whole[name]) << name;
      }
      left.erase("scenario");
      left.erase("scenarioc");
      left.erase(testing::kRunLockFile);
      EXPECT_TRUE(left.empty()) << *left.begin();
      if (HasFailure()) break;
    }
    return ran_out;
  }
};

TEST_F(AddressSpaceSweep, EveryLimitEndsTheScenarioProgramCleanly) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than "
                  "any limit leaves";
#endif
  EXPECT_GT(sweep({"scenario"}, program_dir, testing::files_of_a_run(),
                  "scenario: out of memory\n"),
            0);
}

TEST_F(AddressSpaceSweep, EveryLimitEndsScenariocCompileCleanly) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than "
                  "any limit leaves";
#endif
  const auto [line, train] = write_embedded_sources();
  const fs::path out = root / "out";
  fs::create_directory(out);
  EXPECT_GT(
      sweep({"scenarioc", "compile", line, train, "-o", out.string()}, out,
            {"Firenze_Pisa_linea.dat", "Firenze_Pisa_11711.sim",
             "Firenze_Pisa_11711.dat"},
            "scenarioc: error: out of memory\n"),
      0);
}

}  // namespace
}  // namespace scenc
