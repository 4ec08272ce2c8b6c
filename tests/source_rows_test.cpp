// The rows of a source as an author wrote them. The author check reads them
// for their keyword fields alone and the rest of a row's fields when asked:
// row for row, field for field, that must be what reading them whole gives.
#include "tools/check/source_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "testing/random_sources.h"
#include "scenario/emitters.h"

namespace scenc::tools {
namespace {

void expect_same_rows(std::string_view text, SourceKind kind) {
  const SourceRows whole = read_source_rows(text, kind);
  const SourceRows asked =
      read_source_rows(text, kind, KeptFields::kKeywordField);
  ASSERT_EQ(asked.rows.size(), whole.rows.size());
  for (std::size_t i = 0; i < whole.rows.size(); ++i) {
    const AuthorRow& w = whole.rows[i];
    const AuthorRow& a = asked.rows[i];
    SCOPED_TRACE("line " + std::to_string(w.line));
    EXPECT_EQ(a.line, w.line);
    EXPECT_EQ(a.begin, w.begin);
    EXPECT_EQ(a.end, w.end);
    EXPECT_EQ(a.part, w.part);
    EXPECT_EQ(a.section, w.section);
    EXPECT_EQ(a.kind, w.kind);
    EXPECT_TRUE(std::equal(a.keywords.begin(), a.keywords.end(),
                           w.keywords.begin(), w.keywords.end()));
    ASSERT_EQ(a.fields.size(), 1u);
    // Asked twice: read once, then kept.
    const std::span<const RowField> first = asked.fields_of(a);
    EXPECT_EQ(asked.fields_of(a).data(), first.data());
    ASSERT_EQ(first.size(), w.fields.size());
    for (std::size_t f = 0; f < first.size(); ++f) {
      const RowField& x = first[f];
      const RowField& y = w.fields[f];
      SCOPED_TRACE("field " + std::to_string(f));
      EXPECT_EQ(x.text.data(), y.text.data());
      EXPECT_EQ(x.text.size(), y.text.size());
      EXPECT_EQ(x.column, y.column);
      EXPECT_EQ(x.begin, y.begin);
      EXPECT_EQ(x.end, y.end);
      EXPECT_EQ(x.keyword, y.keyword);
      EXPECT_EQ(x.field, y.field);
    }
    EXPECT_EQ(a.fields.front().begin, w.fields.front().begin);
    EXPECT_EQ(asked.field_at(a, first.front().column), &first.front());
  }
}

TEST(SourceRows, KeywordFieldsFirstAndTheRestWhenAskedReadAsWhole) {
  std::vector<std::pair<std::string, SourceKind>> texts = {
      {embedded_line_source(), SourceKind::kLine},
      {embedded_train_source(), SourceKind::kTrain},
      // The edges of the reader: a preamble line that opens [generale] and
      // holds fields, a header beside a keyword, quotes closed, unclosed
      // and followed by text, a number that ends at a blank, blank and
      // empty lines, tabs, lone CR and LF, more fields than a line keeps,
      // and no line end at the end.
      {"[generale] lunghezza percorso, 5000, 7\r\n[pendenze] sfondo uno, 1\r\n"
       "pendenza, 100 200, 3,\r\n \t\r\n\r\npendenza , \"1,2\" x, 3\n"
       "curvas3, 50, 100, 7 , \rstazione,\"A, B\r\n" +
           std::string(200, ',') + "\r\npendenza, 5",
       SourceKind::kLine},
      {"[generale]\r\nstazione, 100, 200, \"NOME, 1\" dopo, 7\r\n"
       "fermata,\"aperta\r\n,1,2\r\nsegnale 1500 4 , 5,\r\n- commento, 1",
       SourceKind::kTrain},
  };
  for (std::uint64_t seed = 0; seed < 24; ++seed) {
    const bench::SourcePair p = bench::random_source_pair(seed);
    texts.emplace_back(p.line, SourceKind::kLine);
    texts.emplace_back(p.train, SourceKind::kTrain);
  }
  for (std::size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE("text " + std::to_string(i));
    expect_same_rows(texts[i].first, texts[i].second);
  }
}

}  // namespace
}  // namespace scenc::tools
