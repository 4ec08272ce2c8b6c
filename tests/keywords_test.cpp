// The keyword tables against their handlers: each handler reads exactly the
// fields its table row lists, each as the type listed, from the row the table
// gives as its example, so that whatever walks the tables sees the rows as
// the compiler reads them.
#include "compiler/keywords.h"

#include <gtest/gtest.h>

#include <string>

#include "compiler/compile_run.h"

namespace scenc {
namespace {

TEST(KeywordTables, EachHandlerReadsTheFieldsItsRowLists) {
  int rows = 0;
  for (const std::span<const Keyword> table : kKeywordTables) {
    for (const Keyword& k : table) {
      SCOPED_TRACE(std::string(k.row));
      ++rows;

      Model model;
      model.clear_for_build(1);
      model.allocate_for_length(82000);
      MemorySources sources;
      CompileRun run(model, sources);
      run.begin_source(
          k.section == Section::kTrain ? SourceKind::kTrain : SourceKind::kLine,
          std::string(k.example) + "\r\n[fine]\r\n");
      const std::string_view keyword = run.read_keyword();
      ASSERT_TRUE(k.matches(keyword));

      run.begin_row(k);
      EXPECT_EQ(k.compile(run), Flow::kGoOn);
      EXPECT_EQ(model.error_code, 0);
      EXPECT_EQ(run.current.read, k.fields.size());
      EXPECT_TRUE(run.current.reads_match_table());
      // The row's last field was its line's last: the next read begins on
      // the next line.
      EXPECT_EQ(run.reader.line(), 2);
      EXPECT_EQ(run.reader.column(), 1);
    }
  }
  EXPECT_EQ(rows, 23);
}

}  // namespace
}  // namespace scenc
