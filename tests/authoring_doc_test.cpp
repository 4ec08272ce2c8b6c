// The authors' reference, docs/authoring.md, against the code's tables: a
// keyword, section header, fault or warning that the code knows and the
// reference does not name fails here, so the two cannot drift apart.
#include <gtest/gtest.h>

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "child_process.h"
#include "compiler/keywords.h"
#include "model/faults.h"
#include "tools/check/check.h"

namespace {

using scenc::testing::read_file;

TEST(AuthoringReference, NamesEveryKeywordSectionFaultAndWarning) {
  const std::string doc = read_file(std::filesystem::path(SCENARIO_SOURCE_DIR) /
                                    "docs" / "authoring.md");
  ASSERT_FALSE(doc.empty());
  const auto names = [&](const std::string& text) {
    return doc.find(text) != std::string::npos;
  };
  for (const auto table : scenc::kKeywordTables) {
    for (const scenc::Keyword& k : table) {
      SCOPED_TRACE(k.row);
      EXPECT_TRUE(names("#### " + std::string(k.row) + "\n"));
      EXPECT_TRUE(names("`" + std::string(k.word) + "`"));
      if (!k.also.empty()) {
        EXPECT_TRUE(names("`" + std::string(k.also) + "`"));
      }
      // The example row, as it compiles.
      EXPECT_TRUE(names(std::string(k.example) + "\n"));
      for (const scenc::Field& f : k.fields) {
        EXPECT_TRUE(names("| " + std::string(f.name) + " | ")) << f.name;
      }
    }
  }
  for (const auto headers :
       {std::span<const std::string_view>(scenc::kLineSectionHeaders),
        std::span<const std::string_view>(scenc::kTrainSectionHeaders)}) {
    for (const std::string_view h : headers) {
      EXPECT_TRUE(names("`" + std::string(h) + "`")) << h;
    }
  }
  for (const scenc::FaultInfo& f : scenc::kFaults) {
    EXPECT_TRUE(names("### " + scenc::tools::fault_check_name(f.code) + " (" +
                      std::string(f.name) + ")\n"))
        << f.code;
  }
  for (const scenc::tools::WarningInfo& w : scenc::tools::kWarnings) {
    EXPECT_TRUE(names("### " + std::string(w.name))) << w.name;
    EXPECT_TRUE(names("Fix: " + std::string(w.fix))) << w.name;
  }
}

}  // namespace
