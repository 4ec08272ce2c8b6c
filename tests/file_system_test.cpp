#include "output/file_system.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "output/scenario_files.h"
#include "output/temporary_files.h"

namespace scenc {
namespace {

namespace fs = std::filesystem;

// A fresh directory of its own for each test, removed afterwards.
class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir.empty()); }

  static void put(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::set<std::string> names_in(const fs::path& path) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  testing::TemporaryDirectory temp{"scenc-test"};
  const fs::path dir = temp.path();
};

TEST_F(FileSystemTest, WriteReplacesAnEarlierLongerFileWhole) {
  put(dir / "Firenze_Pisa_11711.dat", std::string(100000, 'x'));
  DiskDirectory out(dir);
  out.write("Firenze_Pisa_11711.dat", [](ByteWriter& w) { w.bytes("new"); });
  EXPECT_EQ(testing::read_file(dir / "Firenze_Pisa_11711.dat"), "new");
  EXPECT_EQ(names_in(dir), std::set<std::string>{"Firenze_Pisa_11711.dat"});
}

TEST_F(FileSystemTest, FailingFillLeavesTheEarlierFileAndNoTemporary) {
  put(dir / "Firenze_Pisa_11711.sim", "earlier");
  Model m;
  m.scenario_slots[3].name.assign(70000, 'a');
  DiskDirectory out(dir);
  try {
    out.write("Firenze_Pisa_11711.sim", [&](ByteWriter& w) {
      w.bytes(std::string(200000, 'p'));  // some bytes already on disk
      write_slot_file(m, w);
    });
    FAIL() << "an over-long slot name was written";
  } catch (const FileError& e) {
    // Reported as a failed write of that file, not left to end the program.
    EXPECT_EQ(e.file, (dir / "Firenze_Pisa_11711.sim").string());
    EXPECT_NE(e.reason.find("65535"), std::string::npos) << e.reason;
  }
  EXPECT_EQ(testing::read_file(dir / "Firenze_Pisa_11711.sim"), "earlier");
  EXPECT_EQ(names_in(dir), std::set<std::string>{"Firenze_Pisa_11711.sim"});
}

TEST_F(FileSystemTest, WriteThatCannotCompleteNamesTheFileAndTheReason) {
  // The name is taken by a directory, or the directory itself is missing.
  fs::create_directory(dir / "Firenze_Pisa_11711_note.txt");
  const struct {
    fs::path directory;
    std::string name;
    int reason;
  } cases[] = {
      {dir, "Firenze_Pisa_11711_note.txt", EISDIR},
      {dir / "missing", "Firenze_Pisa_linea.dat", ENOENT},
  };
  for (const auto& c : cases) {
    DiskDirectory out(c.directory);
    try {
      out.write(c.name, [](ByteWriter& w) { w.bytes("text"); });
      ADD_FAILURE() << c.name << " was written";
    } catch (const FileError& e) {
      EXPECT_EQ(e.file, (c.directory / c.name).string());
      EXPECT_EQ(e.reason, std::strerror(c.reason));
    }
  }
  EXPECT_TRUE(fs::is_directory(dir / "Firenze_Pisa_11711_note.txt"));
  EXPECT_EQ(names_in(dir),
            std::set<std::string>{"Firenze_Pisa_11711_note.txt"});
}

// A name that is not a plain file: a device or a FIFO is written where it
// is, as any program writing to /dev/null does, and stays what it is; a
// symbolic link is followed, the file it names replaced and the link left a
// link.
TEST_F(FileSystemTest, WritesThroughNamesThatAreNotPlainFiles) {
  fs::create_directory(dir / "real");
  put(dir / "real" / "plot.svg", "earlier");
  fs::create_symlink("real/plot.svg", dir / "link.svg");
  fs::create_symlink("link.svg", dir / "link_to_link.svg");
  fs::create_symlink("real/new.svg", dir / "dangling.svg");
  fs::create_symlink("/dev/null", dir / "null.svg");
  ASSERT_EQ(::mkfifo((dir / "pipe.svg").c_str(), 0600), 0);

  DiskDirectory out(dir);
  const auto write = [&out](const std::string& name, const std::string& text) {
    out.write(name, [&text](ByteWriter& w) { w.bytes(text); });
  };
  write("link.svg", "through the link");
  EXPECT_EQ(testing::read_file(dir / "real" / "plot.svg"), "through the link");
  write("link_to_link.svg", "through two links");
  EXPECT_EQ(testing::read_file(dir / "real" / "plot.svg"), "through two links");
  write("dangling.svg", "a new file");
  EXPECT_EQ(testing::read_file(dir / "real" / "new.svg"), "a new file");
  write("null.svg", "nothing");

  std::string from_pipe;
  std::thread reader([&] { from_pipe = testing::read_file(dir / "pipe.svg"); });
  write("pipe.svg", "down the pipe");
  reader.join();
  EXPECT_EQ(from_pipe, "down the pipe");

  for (const char* link :
       {"link.svg", "link_to_link.svg", "dangling.svg", "null.svg"}) {
    EXPECT_TRUE(fs::is_symlink(dir / link)) << link;
  }
  EXPECT_TRUE(fs::is_fifo(dir / "pipe.svg"));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_EQ(names_in(dir),
            (std::set<std::string>{"real", "link.svg", "link_to_link.svg",
                                   "dangling.svg", "null.svg", "pipe.svg"}));
  EXPECT_EQ(names_in(dir / "real"),
            (std::set<std::string>{"plot.svg", "new.svg"}));

  // A loop of links names no file.
  fs::create_symlink("loop_b", dir / "loop_a");
  fs::create_symlink("loop_a", dir / "loop_b");
  try {
    write("loop_a", "never");
    ADD_FAILURE() << "a loop of links was written through";
  } catch (const FileError& e) {
    EXPECT_EQ(e.reason, std::strerror(ELOOP));
  }
}

// A FIFO that no process reads, or a name that is neither a regular file,
// a character device nor a FIFO (here a socket), is refused at once with one
// line: a run must never wait on it for ever. What the name is stays.
TEST_F(FileSystemTest, RefusesWhatItCannotWriteWithoutWaiting) {
  ASSERT_EQ(::mkfifo((dir / "unread.svg").c_str(), 0600), 0);
  const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socket_path = (dir / "socket.svg").string();
  ASSERT_LT(socket_path.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socket_path.c_str());
  ASSERT_EQ(
      ::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address),
      0);
  const struct {
    const char* name;
    const char* reason;
  } cases[] = {
      {"unread.svg", "a FIFO that no process reads"},
      {"socket.svg", "neither a regular file, a character device nor a FIFO"},
  };
  DiskDirectory out(dir);
  for (const auto& c : cases) {
    const auto started = std::chrono::steady_clock::now();
    try {
      out.write(c.name, [](ByteWriter& w) { w.bytes("never"); });
      ADD_FAILURE() << c.name << " was written";
    } catch (const FileError& e) {
      EXPECT_EQ(e.file, (dir / c.name).string());
      EXPECT_EQ(e.reason, c.reason);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started,
              std::chrono::seconds(10))
        << c.name;
  }
  ::close(listening);
  EXPECT_TRUE(fs::is_fifo(dir / "unread.svg"));
  EXPECT_TRUE(fs::is_socket(dir / "socket.svg"));
  EXPECT_EQ(names_in(dir), (std::set<std::string>{"unread.svg", "socket.svg"}));
}

// Replacing a file never changes who may read or write it: the new file
// takes the permissions of the one it replaces, through a link as well.
TEST_F(FileSystemTest, AReplacedFileKeepsItsPermissions) {
  DiskDirectory out(dir);
  for (const fs::perms mode :
       {fs::perms::owner_read | fs::perms::owner_write,
        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
            fs::perms::group_write | fs::perms::others_read}) {
    put(dir / "kept.dat", "earlier");
    fs::permissions(dir / "kept.dat", mode);
    fs::create_symlink("kept.dat", dir / "link.dat");
    for (const char* name : {"kept.dat", "link.dat"}) {
      out.write(name, [](ByteWriter& w) { w.bytes("new"); });
      EXPECT_EQ(testing::read_file(dir / "kept.dat"), "new");
      EXPECT_EQ(fs::status(dir / "kept.dat").permissions(), mode) << name;
    }
    fs::remove(dir / "link.dat");
  }
}

// A name as long as a directory entry may be (255 bytes) is written all the
// same: its temporary is cut to fit, and the temporaries of such names that
// killed runs left are still found and removed.
TEST_F(FileSystemTest, WritesNamesOfTheLongestLength) {
  for (const std::size_t length : {1u, 100u, 237u, 238u, 245u, 255u}) {
    SCOPED_TRACE(length);
    std::string name;
    for (std::size_t i = 0; i < length; ++i)
      name += static_cast<char>('a' + i % 26);
    for (const pid_t pid : {1, 4194304, 2147483647}) {
      const std::string temporary = temporary_name(name, pid, 12);
      EXPECT_LE(temporary.size(), 255u);
      EXPECT_EQ(temporary_owner(temporary, name), pid) << temporary;
      // Another name that the cut one could stand for only where it was
      // cut.
      EXPECT_EQ(temporary_owner(temporary, name + "x").has_value(),
                temporary.size() == 255u)
          << temporary;
      EXPECT_FALSE(temporary_owner(temporary, name.substr(1)));
    }
  }
  const std::string longest(251, 'n');
  const std::string name = longest + ".dat";
  const pid_t gone = testing::ended_process();
  const std::string stale = temporary_name(name, gone, 0);
  put(dir / stale, "cut");
  DiskDirectory out(dir);
  out.write(name, [](ByteWriter& w) { w.bytes("whole"); });
  EXPECT_EQ(testing::read_file(dir / name), "whole");
  EXPECT_EQ(names_in(dir), std::set<std::string>{name});
}

TEST_F(FileSystemTest, ReadWholeFileTellsMissingFromUnreadable) {
  std::string all_bytes;
  for (int i = 0; i < 200000; ++i)
    all_bytes.push_back(static_cast<char>(i * 7));
  put(dir / "big", all_bytes);
  fs::create_directory(dir / "a_directory");

  std::string bytes;
  std::string reason;
  EXPECT_EQ(read_whole_file(dir / "big", bytes, &reason),
            SourceStore::Status::kOk);
  EXPECT_TRUE(bytes == all_bytes);

  EXPECT_EQ(read_whole_file(dir / "absent", bytes, &reason),
            SourceStore::Status::kMissing);
  EXPECT_EQ(reason, std::strerror(ENOENT));
  EXPECT_EQ(read_whole_file(dir / "a_directory", bytes, &reason),
            SourceStore::Status::kUnreadable);
  EXPECT_EQ(reason, std::strerror(EISDIR));
}

TEST_F(FileSystemTest, DiskSourcesReadAndRemoveTheScenarioSources) {
  Model m;
  m.line_name = "Firenze_Pisa";
  m.train_number = "11711";
  put(dir / "Firenze_Pisa_linea.txt", "line\r\n");
  DiskSources sources(dir, m);

  SourceText text;
  EXPECT_EQ(sources.load(SourceKind::kLine, text), SourceStore::Status::kOk);
  EXPECT_EQ(text.bytes(), "line\r\n");
  EXPECT_EQ(sources.load(SourceKind::kTrain, text),
            SourceStore::Status::kMissing);

  EXPECT_TRUE(sources.remove(SourceKind::kLine));
  EXPECT_FALSE(fs::exists(dir / "Firenze_Pisa_linea.txt"));
  EXPECT_TRUE(sources.remove(SourceKind::kTrain));  // nothing left to remove
}

// `scenarioc` reads an author's sources into memory before the compile: the
// compile takes over those bytes, or reads a view of them, instead of
// holding a second copy.
TEST(MemorySources, HandTheirBytesOverRatherThanCopyThem) {
  MemorySources sources(std::string(1 << 20, 'x'), std::string(1 << 20, 'y'));
  const char* const held = sources.line->data();
  SourceText text;
  ASSERT_EQ(sources.load(SourceKind::kLine, text), SourceStore::Status::kOk);
  EXPECT_EQ(text.bytes().data(), held);
  EXPECT_EQ(text.bytes().size(), std::size_t{1} << 20);
  EXPECT_TRUE(sources.line->empty());
  EXPECT_TRUE(sources.remove(SourceKind::kLine));
  EXPECT_TRUE(sources.line_removed);

  const std::string line(1 << 20, 'x');
  SourceViews views(line, std::nullopt);
  ASSERT_EQ(views.load(SourceKind::kLine, text), SourceStore::Status::kOk);
  EXPECT_EQ(text.bytes().data(), line.data());
  EXPECT_EQ(views.load(SourceKind::kTrain, text),
            SourceStore::Status::kMissing);
}

TEST_F(FileSystemTest, ProgramDirectoryIsTheExecutablesNotTheWorkingOne) {
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  const fs::path found = program_directory();
  fs::current_path(before);
  EXPECT_EQ(found, fs::canonical(SCENARIO_BIN_DIR));
}

// The files a clean run leaves beside the executable.
const std::set<std::string> kRunFiles = {"Firenze_Pisa_11711_note.txt",
                                         "Firenze_Pisa_11711_rallentamenti.txt",
                                         "Firenze_Pisa_11711_scheda_treno.txt",
                                         "Firenze_Pisa_linea.dat",
                                         "Firenze_Pisa_11711.sim",
                                         "Firenze_Pisa_11711.dat"};

struct ProgramRun {
  fs::path program_dir;
  fs::path work_dir;
  std::optional<int> status;
  std::string out;
  std::string err;
};

// Runs a copy of the scenario program, placed in `base`/program, from the
// working directory `base`/work, with no display so that the console layer
// answers. `blocked`, when given, is made a directory beside the program
// first, so that the file of that name cannot be written.
ProgramRun run_program_copy(const fs::path& base,
                            const std::string& blocked = "",
                            const std::vector<std::string>& arguments = {}) {
  ProgramRun run{base / "program", base / "work", {}, {}, {}};
  fs::create_directories(run.program_dir);
  fs::create_directories(run.work_dir);
  fs::copy_file(fs::path(SCENARIO_BIN_DIR) / "scenario",
                run.program_dir / "scenario");
  if (!blocked.empty()) fs::create_directory(run.program_dir / blocked);
  std::vector<std::string> argv = {(run.program_dir / "scenario").string()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  testing::ChildProcess child(argv, {.environment = {{"DISPLAY", std::nullopt}},
                                     .working_directory = run.work_dir});
  run.status = child.wait_for_exit(std::chrono::seconds(60));
  run.out = child.stdout_text();
  run.err = child.stderr_text();
  return run;
}

TEST_F(FileSystemTest, ScenarioProgramWritesBesideItsExecutable) {
  const ProgramRun run = run_program_copy(dir);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");  // no waiting line when standard error is a file

  EXPECT_TRUE(names_in(run.work_dir).empty());
  std::set<std::string> expected = kRunFiles;
  expected.insert({"scenario", ".scenario.lock"});
  EXPECT_EQ(names_in(run.program_dir), expected);
  EXPECT_EQ(fs::file_size(run.program_dir / "Firenze_Pisa_linea.dat"),
            1779964u);
  EXPECT_EQ(fs::file_size(run.program_dir / "Firenze_Pisa_11711.dat"), 26715u);
}

// The program takes no argument but --help (or -h) and --version: these
// answer on standard output, anything else is refused with status 64 and
// one line. Either way nothing is written, not even the lock file.
TEST_F(FileSystemTest, ScenarioProgramAnswersHelpAndRefusesOtherArguments) {
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string out_begins;
    std::string err;
  } cases[] = {
      {{"--help"}, 0, "Usage: scenario [--help | --version]\n", ""},
      {{"-h"}, 0, "Usage: scenario [--help | --version]\n", ""},
      {{"--version"}, 0, "scenario 1", ""},
      {{"--hlep"}, 64, "", "'--hlep'"},
      {{"build"}, 64, "", "'build'"},
      {{"--help", "now"}, 64, "", "'now'"},
      {{"--version", "-h"}, 64, "", "'-h'"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.front());
    const ProgramRun run =
        run_program_copy(dir / std::to_string(n++), "", c.arguments);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_TRUE(run.out.starts_with(c.out_begins)) << run.out;
    if (c.err.empty()) {
      EXPECT_EQ(run.err, "");
    } else {
      EXPECT_EQ(run.err, "scenario: unknown argument " + c.err +
                             " (it takes only --help or --version); nothing "
                             "was written\n");
    }
    EXPECT_EQ(names_in(run.program_dir), std::set<std::string>{"scenario"});
    EXPECT_TRUE(names_in(run.work_dir).empty());
  }
}

// A FIFO in place of the lock file would hold the run up until a writer
// came; it is refused at once, and nothing else is written.
TEST_F(FileSystemTest, ScenarioProgramRefusesALockFileThatIsNotAPlainFile) {
  fs::create_directories(dir / "program");
  ASSERT_EQ(::mkfifo((dir / "program" / ".scenario.lock").c_str(), 0600), 0);
  const ProgramRun run = run_program_copy(dir);
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err, (run.program_dir / ".scenario.lock").string() +
                         ": not a plain file (a link, a FIFO or a device); "
                         "remove it\n");
  EXPECT_EQ(names_in(run.program_dir),
            (std::set<std::string>{"scenario", ".scenario.lock"}));
}

// A file that cannot be written ends the run with status 3 and one line
// naming it and the reason; the files completed before it stay as written,
// but the two sources, which exist only while a run compiles them, go.
TEST_F(FileSystemTest, ScenarioProgramEndsWithStatusThreeOnAFailedWrite) {
  const struct {
    std::string blocked;
    std::set<std::string> written_before;
  } cases[] = {
      // The documents come after the two sources, before the compile.
      {"Firenze_Pisa_11711_note.txt", {}},
      {"Firenze_Pisa_11711.sim",
       {"Firenze_Pisa_11711_note.txt", "Firenze_Pisa_11711_rallentamenti.txt",
        "Firenze_Pisa_11711_scheda_treno.txt", "Firenze_Pisa_linea.dat"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.blocked);
    const ProgramRun run = run_program_copy(dir / c.blocked, c.blocked);
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.err, (run.program_dir / c.blocked).string() + ": " +
                           std::strerror(EISDIR) + "\n");

    std::set<std::string> expected = c.written_before;
    expected.insert({"scenario", ".scenario.lock", c.blocked});
    EXPECT_EQ(names_in(run.program_dir), expected);
    if (expected.count("Firenze_Pisa_linea.dat") != 0) {
      EXPECT_EQ(fs::file_size(run.program_dir / "Firenze_Pisa_linea.dat"),
                1779964u);
    }
  }
}

}  // namespace
}  // namespace scenc
