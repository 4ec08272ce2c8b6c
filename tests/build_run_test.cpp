#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/platform.h"
#include "compiler/source_store.h"
#include "output/output_directory.h"

namespace scenc {
namespace {

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

struct BuildRunTest : ::testing::Test {
  Model model;
  MemoryDirectory directory;
  MemorySources sources;  // no line source at all
  RecordingPlatform platform{directory};
  Form1 form{model, platform, directory, sources};
};

TEST_F(BuildRunTest, ErrorExitShowsItsNumberAndEndsWithStatusTwo) {
  EXPECT_EQ(error_exit_text("1250"), " Errore n. 1250");
  EXPECT_EQ(form.errore("1250"), exit_status::kErrorExit);
  EXPECT_EQ(platform.calls,
            (std::vector<std::string>{"box: Errore n. 1250", "close"}));
  EXPECT_TRUE(directory.order.empty());
}

TEST_F(BuildRunTest, RunWithoutLineSourceEndsAtTheErrorExitWithoutBinaryFiles) {
  EXPECT_EQ(form.Form_Load(), exit_status::kErrorExit);

  EXPECT_EQ(model.line_name, "Firenze_Pisa");
  EXPECT_EQ(model.train_number, "11711");
  EXPECT_EQ(model.write_line_file, 1);
  ASSERT_EQ(platform.calls.size(), 3u);
  EXPECT_EQ(platform.calls[0], "window after 0 files");
  // 101 is the missing line source; 25 the general failure of a compile that
  // records nothing more precise.
  EXPECT_TRUE(platform.calls[1] == "box: Errore n. 101" ||
              platform.calls[1] == "box: Errore n. 25")
      << platform.calls[1];
  EXPECT_EQ(platform.calls[2], "close");

  // Only the texts, in the order the emitters run; no binary file.
  const std::vector<std::string> text_order = {
      "Firenze_Pisa_linea.txt", "Firenze_Pisa_11711-.txt",
      "Firenze_Pisa_11711_note.txt", "Firenze_Pisa_11711_rallentamenti.txt",
      "Firenze_Pisa_11711_scheda_treno.txt"};
  auto next = text_order.begin();
  for (const std::string& name : directory.order) {
    next = std::find(next, text_order.end(), name);
    ASSERT_NE(next, text_order.end()) << name << " out of order or unexpected";
    ++next;
  }
}

TEST(ConsolePlatform, ShowsTheErrorTextAsOneLineAndNoWaitingLineOffATerminal) {
  ConsolePlatform console;
  ::testing::internal::CaptureStderr();
  console.show_waiting_window();  // standard error is a file here
  console.show_error_box(" Errore n. 1251");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), " Errore n. 1251\n");
}

}  // namespace
}  // namespace scenc
