// Another local user must never choose what a run loads or replaces. Each
// test runs the programs as root and as an unprivileged user (the victim)
// while a second unprivileged user (the other) plants what it can in a
// directory everyone may write, sticky as /tmp is: a window module, a
// symbolic link in place of an output, a link in place of the lock file.
// Only root can act as other users, so elsewhere the tests are skipped.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "child_process.h"
#include "scenario/emitters.h"

namespace scenc {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::read_file;

constexpr uid_t kRoot = 0;
constexpr uid_t kVictim = 65534;  // nobody
constexpr uid_t kOther = 65533;

// The identity the next child takes before it starts its program.
uid_t acting_uid = kRoot;
bool act_as_acting_uid() {
  return acting_uid == kRoot ||
         (::setgroups(0, nullptr) == 0 && ::setgid(acting_uid) == 0 &&
          ::setuid(acting_uid) == 0);
}

struct Outcome {
  std::optional<int> status;
  std::string err;
};

class OtherUsersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can act as other users";
    ASSERT_FALSE(temp.path().empty());
    own_directory(base, kRoot);
  }

  // Runs `argv` to its end as `uid`.
  static Outcome run_as(uid_t uid, std::vector<std::string> argv,
                        const testing::EnvironmentChanges& environment = {}) {
    acting_uid = uid;
    ChildProcess child(std::move(argv), {.environment = environment,
                                         .prepare = act_as_acting_uid});
    Outcome r;
    r.status = child.wait_for_exit(std::chrono::minutes(1));
    r.err = child.stderr_text();
    return r;
  }

  // What the other user does, as a shell command line; it must succeed.
  static void other_does(const std::string& command) {
    const Outcome r = run_as(kOther, {"/bin/sh", "-c", command});
    ASSERT_EQ(r.status, 0) << command << ": " << r.err;
  }

  // A directory of `owner`'s own, only its owner may write.
  static fs::path own_directory(const fs::path& dir, uid_t owner) {
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read |
                             fs::perms::group_exec | fs::perms::others_read |
                             fs::perms::others_exec);
    EXPECT_EQ(::chown(dir.c_str(), owner, owner), 0);
    return dir;
  }

  // A copy of `from` at `to`, owned by `owner`.
  static void copy_owned(const fs::path& from, const fs::path& to,
                         uid_t owner) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    EXPECT_EQ(::chown(to.c_str(), owner, owner), 0);
  }

  testing::TemporaryDirectory temp{"scenario-users"};
  const fs::path base = temp.path();
};

const fs::path kBin = SCENARIO_BIN_DIR;

// Where the program and modules lie for one case, under the shared
// directory (S), with what the other user plants there.
struct ModuleCase {
  const char* what;
  const char* program_dir;     // relative to S; made the victim's own
  bool genuine_beside;         // the built module beside the program
  const char* other_plants;    // a shell command run in S by the other
  const char* victims_module;  // the planted module copied by the victim
  bool genuine_loaded;
};

// With a display named, the program loads its window module (the display
// itself does not exist, so the console layer stands in and the run ends
// 0). A module another user planted, or one another user could have
// changed, is never loaded; the genuine one still is.
TEST_F(OtherUsersTest, APlantedWindowModuleIsNeverLoaded) {
#ifndef SCENARIO_HAS_WINDOW
  GTEST_SKIP() << "the window backend was not built";
#endif
  const std::string planted = PLANTED_WINDOW_MODULE;
  const std::string plant_installed =
      "mkdir -p lib/scenario-compiler && cp " + planted +
      " lib/scenario-compiler/scenario_window.so";
  const std::string plant_beside = "cp " + planted + " scenario_window.so";
  const std::string link_beside =
      "ln -s " + (kBin / "scenario_window.so").string() + " scenario_window.so";
  const ModuleCase cases[] = {
      {"a copy in a directory of its own, the installed place planted", "x",
       true, plant_installed.c_str(), nullptr, true},
      {"a copy in a bin/ of its own, the installed place planted", "bin", false,
       plant_installed.c_str(), nullptr, false},
      {"a copy in the shared directory, a module planted beside it", ".", false,
       plant_beside.c_str(), nullptr, false},
      {"a copy in the shared directory, a link planted beside it", ".", false,
       link_beside.c_str(), nullptr, false},
      {"a module of the victim's that others may write", "y", false, nullptr,
       "0666", false},
      {"a module of the victim's that the group may write", "z", false, nullptr,
       "0620", false},
  };
  int n = 0;
  for (const uid_t victim : {kRoot, kVictim}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.what) + ", run as uid " +
                   std::to_string(victim));
      const fs::path s = base / ("case" + std::to_string(n++));
      fs::create_directory(s);
      fs::permissions(s, fs::perms::all | fs::perms::sticky_bit);
      const std::string_view in = c.program_dir;
      const fs::path dir = in == "." ? s : own_directory(s / in, victim);
      copy_owned(kBin / "scenario", dir / "scenario", victim);
      if (c.genuine_beside) {
        copy_owned(kBin / "scenario_window.so", dir / "scenario_window.so",
                   victim);
      }
      if (c.victims_module != nullptr) {
        copy_owned(planted, dir / "scenario_window.so", victim);
        fs::permissions(
            dir / "scenario_window.so",
            static_cast<fs::perms>(std::stoi(c.victims_module, nullptr, 8)));
      }
      if (c.other_plants != nullptr) {
        other_does("cd " + s.string() + " && " + c.other_plants);
      }
      const fs::path mark = s / "mark";
      const Outcome r = run_as(victim, {(dir / "scenario").string()},
                               {{"DISPLAY", ":4711"},
                                {"LD_DEBUG", "files"},
                                {"PLANTED_MODULE_MARK", mark.string()}});
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_FALSE(fs::exists(mark)) << read_file(mark);
      EXPECT_EQ(r.err.find("calling init: " +
                           (dir / "scenario_window.so").string()) !=
                    std::string::npos,
                c.genuine_loaded)
          << r.err;
      if (!c.genuine_loaded) {
        EXPECT_NE(r.err.find("scenario: window module "), std::string::npos)
            << "the refusal is not told";
      }
    }
  }
}

// The installed layout of a prefix of the user's own loads its module from
// the prefix; the same layout under a bin/ that others may write does not.
TEST_F(OtherUsersTest,
       AnInstalledModuleIsLoadedOnlyFromAPrefixOthersCannotWrite) {
#ifndef SCENARIO_HAS_WINDOW
  GTEST_SKIP() << "the window backend was not built";
#endif
  for (const bool bin_shared : {false, true}) {
    SCOPED_TRACE(bin_shared ? "bin/ writable by others"
                            : "a prefix of its own");
    const fs::path prefix =
        own_directory(base / (bin_shared ? "shared_bin" : "prefix"), kVictim);
    const fs::path bin = own_directory(prefix / "bin", kVictim);
    if (bin_shared)
      fs::permissions(bin, fs::perms::all | fs::perms::sticky_bit);
    const fs::path modules =
        own_directory(prefix / "lib" / "scenario-compiler", kVictim);
    own_directory(prefix / "lib", kVictim);
    copy_owned(kBin / "scenario", bin / "scenario", kVictim);
    copy_owned(kBin / "scenario_window.so", modules / "scenario_window.so",
               kVictim);
    const Outcome r = run_as(kVictim, {(bin / "scenario").string()},
                             {{"DISPLAY", ":4711"}, {"LD_DEBUG", "files"}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("calling init: " +
                         (modules / "scenario_window.so").string()) !=
                  std::string::npos,
              !bin_shared)
        << r.err;
  }
}

// A link in place of an output is followed only when the user running the
// program or root made it. Another user's link in a shared directory,
// leading to a file of the victim's, makes the run fail and leaves that file
// as it was; the victim's own link is followed, and the file it leads to
// keeps its owner and permissions.
TEST_F(OtherUsersTest, APlantedLinkNeverChangesTheVictimsFile) {
  const fs::path sources = own_directory(base / "sources", kRoot);
  std::ofstream(sources / "Firenze_Pisa_linea.txt", std::ios::binary)
      << embedded_line_source();
  std::ofstream(sources / "Firenze_Pisa_11711-.txt", std::ios::binary)
      << embedded_train_source();
  const std::string scenarioc = (kBin / "scenarioc").string();
  // kVictim stands for whoever runs the program.
  const struct {
    const char* what;
    uid_t link_owner;
    uid_t directory_owner;
    bool followed;
  } cases[] = {
      {"another user's link", kOther, kRoot, false},
      {"a link of the directory's owner", kOther, kOther, false},
      {"the user's own link", kVictim, kRoot, true},
  };
  int n = 0;
  for (const uid_t victim : {kRoot, kVictim}) {
    for (const auto& c : cases) {
      const auto as_run = [victim](uid_t uid) {
        return uid == kVictim ? victim : uid;
      };
      SCOPED_TRACE(std::string(c.what) + ", run as uid " +
                   std::to_string(victim));
      const fs::path s = base / ("case" + std::to_string(n++));
      const fs::path own = own_directory(s / "own", victim);
      const fs::path precious = own / "precious";
      std::ofstream(precious) << "precious";
      ASSERT_EQ(::chown(precious.c_str(), victim, victim), 0);
      fs::permissions(precious, fs::perms::owner_read | fs::perms::owner_write);
      const fs::path out = s / "out";
      fs::create_directory(out);
      fs::permissions(out, fs::perms::all | fs::perms::sticky_bit);
      const uid_t directory_owner = as_run(c.directory_owner);
      ASSERT_EQ(::chown(out.c_str(), directory_owner, directory_owner), 0);
      // The link, and one to a file the victim has not made yet.
      const Outcome made = run_as(
          as_run(c.link_owner),
          {"/bin/sh", "-c",
           "ln -s \"$1\" \"$3/Firenze_Pisa_linea.dat\" && "
           "ln -s \"$2\" \"$3/Firenze_Pisa_11711.sim\"",
           "sh", precious.string(), (own / "made").string(), out.string()});
      ASSERT_EQ(made.status, 0) << made.err;

      const Outcome r = run_as(
          victim,
          {scenarioc, "compile", (sources / "Firenze_Pisa_linea.txt").string(),
           (sources / "Firenze_Pisa_11711-.txt").string(), "-o", out.string()});
      struct stat st {};
      ASSERT_EQ(::stat(precious.c_str(), &st), 0);
      EXPECT_EQ(st.st_uid, victim);
      EXPECT_EQ(st.st_mode & 0777, 0600u);
      EXPECT_TRUE(fs::is_symlink(out / "Firenze_Pisa_linea.dat"));
      if (c.followed) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(fs::file_size(precious), 1779964u);
        EXPECT_TRUE(fs::is_regular_file(own / "made"));
      } else {
        EXPECT_EQ(r.status, 3);
        EXPECT_EQ(r.err, "scenarioc: error: cannot write " +
                             (out / "Firenze_Pisa_linea.dat").string() +
                             ": a symbolic link owned by another user, not "
                             "followed\n");
        EXPECT_EQ(read_file(precious), "precious");
        EXPECT_FALSE(fs::exists(own / "made"));
      }
    }
  }
}

// The lock file of a program directory that others may write: another
// user's link there is not followed, so the run neither makes nor locks a
// file of that user's choosing.
TEST_F(OtherUsersTest, APlantedLockLinkIsNotFollowed) {
  for (const uid_t victim : {kRoot, kVictim}) {
    SCOPED_TRACE("run as uid " + std::to_string(victim));
    const fs::path program = base / ("program-" + std::to_string(victim));
    fs::create_directory(program);
    fs::permissions(program, fs::perms::all | fs::perms::sticky_bit);
    copy_owned(kBin / "scenario", program / "scenario", victim);
    const fs::path own =
        own_directory(base / ("lock-target-" + std::to_string(victim)), victim);
    other_does("ln -s " + (own / "made").string() + " " +
               (program / ".scenario.lock").string());
    const Outcome r = run_as(victim, {(program / "scenario").string()},
                             {{"DISPLAY", std::nullopt}});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, (program / ".scenario.lock").string() +
                         ": not a plain file (a link, a FIFO or a device); "
                         "remove it\n");
    EXPECT_FALSE(fs::exists(own / "made"));
  }
}

}  // namespace
}  // namespace scenc
