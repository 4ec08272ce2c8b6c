// The keyword tables against their handlers: each handler reads exactly the
// fields its table row lists, each as the type listed, so that whatever walks
// the tables sees the rows as the compiler reads them.
#include "compiler/keywords.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "compiler/compile_run.h"

namespace scenc {
namespace {

// One row of each keyword, with exactly the fields the row takes.
const std::map<std::string_view, std::string> kSampleRows = {
    {"length", "lunghezza percorso, 82000"},
    {"progressive three", "progressiva chilometrica tre, 0, 0, 0"},
    {"progressive two", "progressiva chilometrica due, 0, 0, 0"},
    {"progressive one", "progressiva chilometrica uno, 0, 0, 0"},
    {"background one", "sfondo uno, 1"},
    {"background two", "sfondo due, 0"},
    {"background three", "sfondo tre, 0"},
    {"signal repetition", "ripetizione segnali 4 codici, 4650, 79150"},
    {"gradient", "pendenza, 300, 4"},
    {"curve", "curvas2, 700, 100"},
    {"mountain", "montagna, 1000, 2000, 12"},
    {"speed-indicator board", "indicatori_vmax, 800, 105,115,120,0, 0,0,0,0"},
    {"signboard", "cartello indicatore, 18550, (  Km. ) (18.600)"},
    {"braked mass", "percentuale massa frenata, 120"},
    {"cars", "numero vetture, 6"},
    {"speed limit", "velocita' limite, 0, 30"},
    {"adhesion", "aderenza, 0, 100"},
    {"clock", "orologio, 10 49 30"},
    {"sand", "sabbia, 300"},
    {"signal", "segnale, 4600, 2, 4, 1, 0, 0, 2, 2, 1, 0, 250"},
    {"slow order", "rallentamento, 9300, 30, 50, 0, 1, 0"},
    {"abbattimento", "abbattimento, 5000, 80"},
    {"station",
     "stazione, 0, 8, 400, 1,0,0, 4,0,0, 2,1,0, 1, 10,50,0, FIRENZE S.M.N."},
};

TEST(KeywordTables, EachHandlerReadsTheFieldsItsRowLists) {
  int rows = 0;
  for (const std::span<const Keyword> table : kKeywordTables) {
    for (const Keyword& k : table) {
      SCOPED_TRACE(std::string(k.row));
      ++rows;
      const auto sample = kSampleRows.find(k.row);
      ASSERT_NE(sample, kSampleRows.end());

      Model model;
      model.clear_for_build(1);
      model.allocate_for_length(82000);
      MemorySources sources;
      CompileRun run(model, sources);
      run.begin_source(
          k.section == Section::kTrain ? SourceKind::kTrain : SourceKind::kLine,
          sample->second + "\r\n[fine]\r\n");
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
  EXPECT_EQ(rows, static_cast<int>(kSampleRows.size()));
}

}  // namespace
}  // namespace scenc
