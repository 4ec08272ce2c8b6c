#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/platform.h"
#include "compile_fixture.h"
#include "compiler/source_store.h"
#include "output/output_directory.h"

namespace scenc {
namespace {

using testing::line_source;
using testing::lines;
using testing::train_source;

// Records what the run shows, and how many files existed when the waiting
// window went up.
class RecordingPlatform final : public Platform {
 public:
  explicit RecordingPlatform(const MemoryDirectory& directory)
      : directory_(directory) {}
  void show_waiting_window() override {
    calls.push_back("window after " + std::to_string(directory_.order.size()) +
                    " files");
  }
  void show_error_box(const std::string& text) override {
    calls.push_back("box:" + text);
  }
  void close_window() override { calls.push_back("close"); }

  std::vector<std::string> calls;

 private:
  const MemoryDirectory& directory_;
};

// One build run whose compile reads the given sources instead of the texts
// the emitters write.
struct RunWithSources {
  RunWithSources(std::optional<std::string> line, std::string train) {
    sources.line = std::move(line);
    sources.train = std::move(train);
  }
  Model model;
  MemoryDirectory directory;
  MemorySources sources;
  RecordingPlatform platform{directory};
  Form1 form{model, platform, directory, sources};
};

TEST(BuildRun, ErrorExitShowsItsNumberAndEndsWithStatusTwo) {
  EXPECT_EQ(error_exit_text("1250"), " Errore n. 1250");
  RunWithSources run(line_source(""), train_source(""));
  EXPECT_EQ(run.form.errore("1250"), exit_status::kErrorExit);
  EXPECT_EQ(run.platform.calls,
            (std::vector<std::string>{"box: Errore n. 1250", "close"}));
  EXPECT_TRUE(run.directory.order.empty());
}

TEST(BuildRun, EndsWithTheStatusOfWhatTheCompileAndFinishingFound) {
  const std::vector<std::string> texts = {
      "Firenze_Pisa_linea.txt", "Firenze_Pisa_11711-.txt",
      "Firenze_Pisa_11711_note.txt", "Firenze_Pisa_11711_rallentamenti.txt",
      "Firenze_Pisa_11711_scheda_treno.txt"};
  const std::vector<std::string> binaries = {"Firenze_Pisa_linea.dat",
                                             "Firenze_Pisa_11711.sim",
                                             "Firenze_Pisa_11711.dat"};
  const std::string train = train_source(lines({"numero vetture, 6"}));
  const std::string signal = "segnale, 1000, 1,4,1,0,0, 0,0,0,0,0";
  const struct {
    const char* what;
    std::optional<std::string> line;
    std::string train;
    int status;
    std::int32_t fault;  // error_code when the run ends
    const char* box;     // null when no message is shown
  } cases[] = {
      {"clean", line_source(""), train, exit_status::kClean, 0, nullptr},
      // A fault after the track cells exist is only recorded, by either
      // stage.
      {"gradient beyond the grid", line_source(lines({"pendenza, 88901, 4"})),
       train, exit_status::kFaultRecorded, 15, nullptr},
      {"second signal on a taken cell", line_source(""),
       train_source(lines({signal, signal})), exit_status::kFaultRecorded, 16,
       nullptr},
      // A board on cell 1 fills the field the format stamp goes into.
      {"board on cell 1",
       line_source(lines({"indicatori_vmax, 0, 100, 100, 100, 0, 0, 0, 0, 0"})),
       train, exit_status::kErrorExit, 0, "box: Errore n. 1250"},
      // So does a finishing mark: a signal at cell 3 with cell 2 taken,
      // within 20 cells before a slow-order warning.
      {"finishing mark on cell 1", line_source(""),
       train_source(
           lines({"abbattimento, 100, 5", "segnale, 100, 1,4,1,0,0, 0,0,0,0,0",
                  "rallentamento, 2000, 30, 50, 0, 0, 0"})),
       exit_status::kErrorExit, 0, "box: Errore n. 1250"},
      // No line source: no track cells, so the error exit shows the fault.
      {"no line source", std::nullopt, train, exit_status::kErrorExit, 101,
       "box: Errore n. 101"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RunWithSources run(c.line, c.train);
    EXPECT_EQ(run.form.Form_Load(), c.status);
    EXPECT_EQ(run.model.error_code, c.fault);

    EXPECT_EQ(run.model.line_name, "Firenze_Pisa");
    EXPECT_EQ(run.model.train_number, "11711");
    std::vector<std::string> calls = {"window after 0 files", "close"};
    if (c.box) calls.insert(calls.begin() + 1, c.box);
    EXPECT_EQ(run.platform.calls, calls);

    // The texts in the order the emitters run; the binary files only when
    // the run did not end at the error exit.
    std::vector<std::string> written = texts;
    if (c.status != exit_status::kErrorExit) {
      written.insert(written.end(), binaries.begin(), binaries.end());
    }
    EXPECT_EQ(run.directory.order, written);
  }
}

// Memory that runs out while the compile reads its sources: the build run
// ends with the failure, not with fault 25 and files from a half-built model.
TEST(BuildRun, RunningOutOfMemoryIsNoFaultOfTheSources) {
  struct : SourceStore {
    Status load(SourceKind source, SourceText& text) override {
      if (source == SourceKind::kTrain) throw std::bad_alloc();
      text.hold(line_source(""));
      return Status::kOk;
    }
    bool remove(SourceKind source) override {
      removed.insert(source);
      return true;
    }
    std::set<SourceKind> removed;
  } sources;
  Model model;
  MemoryDirectory directory;
  RecordingPlatform platform{directory};
  Form1 form{model, platform, directory, sources};
  EXPECT_THROW(form.Form_Load(), std::bad_alloc);
  EXPECT_EQ(model.error_code, 0);
  // Both sources were let go, and only the five texts were written.
  EXPECT_EQ(sources.removed,
            (std::set<SourceKind>{SourceKind::kLine, SourceKind::kTrain}));
  EXPECT_EQ(directory.order.size(), 5u);
}

}  // namespace
}  // namespace scenc
