#include "app/file_system.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

#include "output/scenario_files.h"

namespace scenc {
namespace {

namespace fs = std::filesystem;

// A fresh directory of its own for each test, removed afterwards.
class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern =
        (fs::temp_directory_path() / "scenc-test.XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    dir = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  static void put(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static std::set<std::string> names_in(const fs::path& path) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  fs::path dir;
};

TEST_F(FileSystemTest, WriteReplacesAnEarlierLongerFileWhole) {
  put(dir / "Firenze_Pisa_11711.dat", std::string(100000, 'x'));
  DiskDirectory out(dir);
  out.write("Firenze_Pisa_11711.dat", [](ByteWriter& w) { w.bytes("new"); });
  EXPECT_EQ(slurp(dir / "Firenze_Pisa_11711.dat"), "new");
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
  EXPECT_EQ(slurp(dir / "Firenze_Pisa_11711.sim"), "earlier");
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

  std::string bytes;
  EXPECT_EQ(sources.load(SourceKind::kLine, bytes), SourceStore::Status::kOk);
  EXPECT_EQ(bytes, "line\r\n");
  EXPECT_EQ(sources.load(SourceKind::kTrain, bytes),
            SourceStore::Status::kMissing);

  EXPECT_TRUE(sources.remove(SourceKind::kLine));
  EXPECT_FALSE(fs::exists(dir / "Firenze_Pisa_linea.txt"));
  EXPECT_TRUE(sources.remove(SourceKind::kTrain));  // nothing left to remove
}

TEST_F(FileSystemTest, ProgramDirectoryIsTheExecutablesNotTheWorkingOne) {
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  const fs::path found = program_directory();
  fs::current_path(before);
  EXPECT_EQ(found, fs::canonical(SCENARIO_BIN_DIR));
}

// Runs a copy of the scenario program from another working directory: every
// file the run leaves lies beside the executable, the working directory stays
// empty, and standard error (not a terminal here) carries at most the error
// exit's one line.
TEST_F(FileSystemTest, ScenarioProgramWritesBesideItsExecutable) {
  const fs::path program_dir = dir / "program";
  const fs::path work_dir = dir / "work";
  fs::create_directories(program_dir);
  fs::create_directories(work_dir);
  fs::copy_file(fs::path(SCENARIO_BIN_DIR) / "scenario",
                program_dir / "scenario");

  const std::string command = "cd '" + work_dir.string() + "' && '" +
                              (program_dir / "scenario").string() + "' 2>'" +
                              (dir / "stderr.txt").string() + "'";
  const int wait_status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(wait_status));
  const int status = WEXITSTATUS(wait_status);
  const std::string err = slurp(dir / "stderr.txt");

  EXPECT_TRUE(names_in(work_dir).empty());
  std::set<std::string> left = names_in(program_dir);
  left.erase("scenario");
  for (const std::string& name : left) {
    EXPECT_EQ(name.rfind("Firenze_Pisa_", 0), 0u) << name;
  }

  const std::set<std::string> binary_files = {"Firenze_Pisa_linea.dat",
                                              "Firenze_Pisa_11711.sim",
                                              "Firenze_Pisa_11711.dat"};
  if (status == 2) {
    EXPECT_TRUE(std::regex_match(err, std::regex(" Errore n\\. [0-9]+\n")))
        << err;
    for (const auto& name : binary_files)
      EXPECT_EQ(left.count(name), 0u) << name;
  } else {
    ASSERT_TRUE(status == 0 || status == 1) << status << ": " << err;
    EXPECT_EQ(err, "");
    const std::set<std::string> documents = {
        "Firenze_Pisa_11711_note.txt", "Firenze_Pisa_11711_rallentamenti.txt",
        "Firenze_Pisa_11711_scheda_treno.txt"};
    std::set<std::string> expected = binary_files;
    expected.insert(documents.begin(), documents.end());
    EXPECT_EQ(left, expected);
  }
}

}  // namespace
}  // namespace scenc
