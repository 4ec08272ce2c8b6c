// The language server's workspace in process: a check with recovery that an
// edit has made stale is known to be, and stops before its next compile;
// a partner on disk is read again only once it changed.
#include <gtest/gtest.h>

#include <stop_token>
#include <string>

#include "tools/lsp/workspace.h"

namespace scenc::lsp {
namespace {

// A train whose first station is off the 50 m grid, which ends its
// compile, with two more behind it: recovery compiles past each.
const std::string kTrain =
    "[generale]\r\n"
    "stazione, 1010, 2, 400, 0,0,0, 0,0,0, 0,0,0, 0, 10,0,0, A\r\n"
    "stazione, 2010, 2, 400, 0,0,0, 0,0,0, 0,0,0, 0, 10,0,0, B\r\n"
    "stazione, 3010, 2, 400, 0,0,0, 0,0,0, 0,0,0, 0, 10,0,0, C\r\n"
    "[fine]\r\n";
const std::string kLine =
    "[generale]\r\nlunghezza percorso, 5000\r\n[pendenze]\r\n[fine]\r\n";
const std::string kLineUri = "file:///w/Prova_linea.txt";
const std::string kTrainUri = "file:///w/Prova_1-.txt";

TEST(LspWorkspace, ARecoveryMadeStaleByAnEditStops) {
  NoFiles files;
  Workspace workspace(files);
  workspace.open(kLineUri, 1, kLine);
  workspace.open(kTrainUri, 1, kTrain);
  workspace.publish();
  const std::optional<RecoveryJob> job = workspace.recovery_job();
  ASSERT_TRUE(job);
  EXPECT_FALSE(workspace.stale(*job));

  // Run to its end, it finds every station; asked to stop, it compiles no
  // more than the first time and says recovery was left to do.
  const tools::CheckResult whole = run_recovery(*job);
  EXPECT_EQ(whole.errors(), 3);
  std::stop_source stop;
  stop.request_stop();
  const tools::CheckResult stopped = run_recovery(*job, stop.get_token());
  EXPECT_EQ(stopped.recovery_compiles, 0);
  EXPECT_TRUE(stopped.recovery_left);

  // An edit of either source, even one that leaves the text as it was,
  // makes it stale; so does a check of the pair anew.
  const TextEdit nothing{Range{{0, 0}, {0, 0}}, ""};
  workspace.edit(kLineUri, {&nothing, 1}, 2);
  EXPECT_TRUE(workspace.stale(*job));
  workspace.publish();
  EXPECT_TRUE(workspace.stale(*job));
  EXPECT_TRUE(workspace.recovered(*job, whole).empty());
}

// A partner on disk is read again only when its stamp changed: a keystroke
// in its train checks the line as read before; a line written anew on disk
// is read and checked as it is now.
TEST(LspWorkspace, APartnerOnDiskIsReadAgainWhenItsStampChanges) {
  struct Disk final : FileAccess {
    std::string line = kLine;
    FileStamp now{1, 1, 0, 1, 1};
    int reads = 0;
    std::optional<std::string> read(
        const std::filesystem::path& path) override {
      if (path != "/w/Prova_linea.txt") return std::nullopt;
      ++reads;
      return line;
    }
    std::vector<std::string> names_in(const std::filesystem::path&) override {
      return {"Prova_linea.txt"};
    }
    std::optional<FileStamp> stamp(const std::filesystem::path& path) override {
      if (path != "/w/Prova_linea.txt") return std::nullopt;
      return now;
    }
  } disk;
  Workspace workspace(disk);
  workspace.open(kTrainUri, 1, kTrain);
  workspace.publish();
  const int reads = disk.reads;
  const TextEdit blank{Range{{0, 0}, {0, 0}}, " "};
  workspace.edit(kTrainUri, {&blank, 1}, 2);
  workspace.publish();
  EXPECT_EQ(disk.reads, reads);

  // The line written anew on disk: read and checked as it is now.
  disk.line =
      "[generale]\r\nlunghezza percorso, 500\r\n[pendenze]\r\n[fine]\r\n";
  disk.now.modified_ns = 2;
  workspace.edit(kTrainUri, {&blank, 1}, 3);
  workspace.publish();
  EXPECT_EQ(disk.reads, reads + 1);
  const std::string line_bytes(
      workspace.pair_of(kTrainUri)->line.text().source_bytes());
  EXPECT_EQ(line_bytes, disk.line);
}

}  // namespace
}  // namespace scenc::lsp
