// The fault table against the faults a build really raises, and the places a
// fault record points at: the field, the row's bytes, the taken cell and the
// row that placed what stands there.
#include "model/faults.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "compile_fixture.h"
#include "model/finishing_pass.h"

namespace scenc {

void PrintTo(const SourcePlace& p, std::ostream* os) {
  *os << (p.source == SourceKind::kLine    ? "line source "
          : p.source == SourceKind::kTrain ? "train source "
                                           : "no source ")
      << p.line << ":" << p.column;
}

namespace {

using testing::line_source;
using testing::lines;
using testing::train_source;

// A plain line of 82000 m and a train source that compiles on it.
const std::string kLine = line_source("");
const std::string kTrain = train_source("");

const std::string kSignal1000 = "segnale, 1000, 1,4,1,0,0, 0,0,0,0,0\r\n";

// The compile and, on a grid, the finishing pass, as a build runs them.
struct Built {
  testing::Compiled c;
  std::int32_t error_exit = 0;
};

Built build(std::string line, std::string train) {
  Built b{testing::compile(std::move(line), std::move(train))};
  if (b.c.model.has_track_cells()) b.error_exit = finish_track_cells(b.c.model);
  return b;
}

std::string signboards(int count) {
  std::string body;
  for (int i = 0; i < count; ++i) {
    body +=
        "cartello indicatore, " + std::to_string(1000 + 100 * i) + ", (t)\r\n";
  }
  return body;
}

// One way to reach each fault of the table from sources.
TEST(FaultTable, EveryFaultIsReachedAndEveryRaisedFaultIsInTheTable) {
  const std::string slow_order = "rallentamento, 9300, 30, 50, 0, 1, 0\r\n";
  const struct {
    std::int32_t code;
    std::string line;
    std::string train;
  } cases[] = {
      {1, lines({"[generale]", "lunghezza percorso, 1000001", "[f]", "x"}),
       kTrain},
      {2,
       lines({"[generale]", "lunghezza percorso, 82000",
              "progressiva chilometrica uno, 125, 0, 0", "[p]"}),
       kTrain},
      {3,
       lines({"[generale]", "lunghezza percorso, 82000",
              "ripetizione segnali 4, 4675, 0", "[p]"}),
       kTrain},
      {4,
       lines({"[generale]", "lunghezza percorso, 82000",
              "ripetizione segnali 4, 4650, 5", "[p]"}),
       kTrain},
      {5,
       lines({"[generale]", "lunghezza percorso, 82000",
              "ripetizione segnali, 4650, 0", "[p]"}),
       kTrain},
      {6,
       line_source("indicatori_vmax, 800, 100,100,100,0, 0,0,0,0\r\n"
                   "cartello indicatore, 800, (x)\r\n"),
       kTrain},
      {7, kLine,
       train_source("segnale, 4950, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "abbattimento, 5000, 80\r\n")},
      {8, kLine, train_source("stazione, 2775, 2, 600\r\n")},
      {9, kLine, train_source("stazione, 2750, 2, 650\r\n")},
      // 79 signboard texts leave no slot for a first station.
      {10, line_source(signboards(79)),
       train_source(
           "stazione, 0, 8, 400, 0,0,0, 0,0,0, 0,0,0, 0, 10,50,0, A\r\n")},
      // Both cells before a signal ahead of a warning hold boards.
      {11,
       line_source("indicatori_vmax, 1400, 100,100,100,0, 0,0,0,0\r\n"
                   "indicatori_vmax, 1350, 100,100,100,0, 0,0,0,0\r\n"),
       train_source("segnale, 1450, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "rallentamento, 3000, 30, 50, 0, 1, 0\r\n")},
      // A look-back group of three cells taken by signals.
      {12, kLine,
       train_source("segnale, 650, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "segnale, 700, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "segnale, 750, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "rallentamento, 1000, 120, 50, 0, 0, 0\r\n")},
      // The eighth cell inside a slow order and both its neighbours taken.
      {13, kLine,
       train_source("segnale, 3350, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "segnale, 3400, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "segnale, 3450, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "rallentamento, 3000, 30, 1000, 0, 1, 0\r\n")},
      {15, line_source("pendenza, 88901, 4\r\n"), kTrain},
      {16, kLine, train_source(kSignal1000 + kSignal1000)},
      {17, kLine,
       train_source("segnale, 8100, 1,4,1,0,0, 0,0,0,0,0\r\n" + slow_order)},
      {18, kLine,
       train_source("segnale, 9300, 1,4,1,0,0, 0,0,0,0,0\r\n" + slow_order)},
      {19, kLine,
       train_source("segnale, 9350, 1,4,1,0,0, 0,0,0,0,0\r\n" + slow_order)},
      {20, kLine,
       train_source("segnale, 8000, 1,4,1,0,0, 0,0,0,0,0\r\n" + slow_order)},
      {21,
       line_source("cartello indicatore, 800, (x)\r\n"
                   "indicatori_vmax, 810, 100,100,100,0, 0,0,0,0\r\n"),
       kTrain},
      {22, kLine,
       train_source(
           "stazione, 2750, 2, 600, 0,0,0, 1,1,0, 3,1,1, 60, 10,56,0, A\r\n"
           "stazione, 3200, 2, 600, 0,0,0, 1,1,0, 3,1,1, 60, 10,56,0, B\r\n")},
      {24, kLine,
       train_source(
           "stazione, 50, 2, 100, 0,0,0, 1,1,0, 3,1,1, 60, 10,56,0, A\r\n")},
      {25, "", kTrain},
      {102, lines({"inizio", "x", "[generale]"}), kTrain},
      {103, line_source("curvax, 700, 100\r\n"), kTrain},
      // Marks on cells 1 and 2 before a warning put the last mark on cell 1.
      {1250, kLine,
       train_source("segnale, 50, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "segnale, 100, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "rallentamento, 1550, 30, 50, 0, 0, 0\r\n")},
      // A signal on cell 1 whose second code fills the scenario code's field.
      {1251, kLine, train_source("segnale, 0, 1,0,1,0,0, 0,0,0,0,0\r\n")},
  };
  std::set<std::int32_t> reached;
  for (const auto& k : cases) {
    const Built b = build(k.line, k.train);
    const FaultInfo* info = find_fault(k.code);
    ASSERT_NE(info, nullptr) << k.code;
    if (info->ending == FaultEnding::kErrorExit) {
      EXPECT_EQ(b.error_exit, k.code);
    } else {
      EXPECT_EQ(b.c.model.error_code, k.code);
    }
    for (const FaultRecord& f : b.c.model.fault_log) {
      const FaultInfo* raised = find_fault(f.code);
      ASSERT_NE(raised, nullptr) << f.code << " raised for " << k.code;
      EXPECT_EQ(f.ending, raised->ending) << f.code;
    }
    reached.insert(k.code);
  }

  // The missing line source, the one fault that needs no text.
  testing::Compiled missing;
  missing.sources.train = kTrain;
  memorizza_dati(missing.model, missing.sources);
  EXPECT_EQ(missing.model.error_code, fault::kNoLineSource);
  reached.insert(missing.model.error_code);

  std::set<std::int32_t> table;
  for (const FaultInfo& f : kFaults) table.insert(f.code);
  EXPECT_EQ(reached, table);
}

// Where a fault points: the field that raised it, at its line and column.
TEST(FaultRecord, PointsAtTheFieldThatRaisedIt) {
  const std::string header = lines({"inizio_dati", "[generale]"});
  const struct {
    const char* what;
    std::string line;
    std::string train;
    std::int32_t code;
    SourceKind source;
    std::int32_t line_number;
    std::int32_t column;
  } cases[] = {
      {"length above the longest line",
       lines({"[generale]", "lunghezza percorso, 1000001", "[f]", "x"}), kTrain,
       1, SourceKind::kLine, 2, 21},
      {"progressive's first number",
       lines({"[generale]", "lunghezza percorso, 82000",
              "progressiva chilometrica uno, 125, 0, 0", "[p]"}),
       kTrain, 2, SourceKind::kLine, 3, 31},
      {"progressive's second number",
       lines({"[generale]", "lunghezza percorso, 82000",
              "progressiva chilometrica uno, 0, 125, 0", "[p]"}),
       kTrain, 2, SourceKind::kLine, 3, 34},
      {"repetition keyword without 4 or 9",
       lines({"[generale]", "lunghezza percorso, 82000",
              "ripetizione segnali, 4650, 79150", "[f]", "x"}),
       kTrain, 5, SourceKind::kLine, 3, 1},
      {"gradient beyond the grid", line_source("pendenza, 88901, 4\r\n"),
       kTrain, 15, SourceKind::kLine, 5, 11},
      {"signboard on a board",
       line_source("indicatori_vmax, 800, 100, 100, 100, 0, 0, 0, 0, 0\r\n"
                   "cartello indicatore, 800, (x)\r\n"),
       kTrain, 6, SourceKind::kLine, 6, 22},
      {"curve past the longest line",
       line_source("curvad1, 999000, 5000\r\n", 1000000), kTrain, 103,
       SourceKind::kLine, 5, 18},
      {"no [generale] before the end", lines({"inizio", "x", "[generale]"}),
       kTrain, 102, SourceKind::kLine, 3, 1},
      {"station position", kLine, train_source("stazione, 2775, 2, 600\r\n"), 8,
       SourceKind::kTrain, 3, 11},
      {"station length", kLine, train_source("stazione, 2750, 2, 650\r\n"), 9,
       SourceKind::kTrain, 3, 20},
      {"signal on a taken cell, keyword after blanks", kLine,
       train_source(kSignal1000 + "  segnale,  1010, 1,4,1,0,0, 0,0,0,0,0\r\n"),
       16, SourceKind::kTrain, 4, 13},
      {"slow order whose end cell is taken", kLine,
       train_source("segnale, 9350, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "rallentamento, 9300, 30, 50, 0, 1, 0\r\n"),
       19, SourceKind::kTrain, 4, 26},
      {"number too large for its field", kLine,
       train_source("sabbia, 70000\r\n"), 25, SourceKind::kTrain, 3, 9},
      {"source ends inside a row", kLine, header + "segnale, 1000, 1, 4\r\n",
       25, SourceKind::kTrain, 4, 1},
      {"finishing pass: no free cell before the slow order", kLine,
       train_source("segnale, 650, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "segnale, 700, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "segnale, 750, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "  rallentamento, 1000, 120, 50, 0, 0, 0\r\n"),
       12, SourceKind::kTrain, 6, 18},
  };
  for (const auto& k : cases) {
    const Built b = build(k.line, k.train);
    ASSERT_FALSE(b.c.model.fault_log.empty()) << k.what;
    const FaultRecord& f = b.c.model.fault_log.back();
    EXPECT_EQ(f.code, k.code) << k.what;
    EXPECT_EQ(f.field, (SourcePlace{k.source, k.line_number, k.column}))
        << k.what;
  }
}

// A fault on a taken cell names the cell and the row that placed what
// stands there.
TEST(FaultRecord, NamesTheRowThatTookTheCell) {
  const struct {
    const char* what;
    std::string line;
    std::string train;
    std::int32_t code;
    std::int32_t cell;
    SourcePlace placed_row;
    SourcePlace placed_field;
  } cases[] = {
      {"signboard on a board",
       line_source("indicatori_vmax, 800, 100, 100, 100, 0, 0, 0, 0, 0\r\n"
                   "cartello indicatore, 800, (x)\r\n"),
       kTrain,
       6,
       17,
       {SourceKind::kLine, 5, 1},
       {SourceKind::kLine, 5, 18}},
      {"signal on a signal",
       kLine,
       train_source(kSignal1000 + "  segnale,  1010, 1,4,1,0,0, 0,0,0,0,0\r\n"),
       16,
       21,
       {SourceKind::kTrain, 3, 1},
       {SourceKind::kTrain, 3, 10}},
      {"slow-order end on a signal",
       kLine,
       train_source("segnale, 9350, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "rallentamento, 9300, 30, 50, 0, 1, 0\r\n"),
       19,
       188,
       {SourceKind::kTrain, 3, 1},
       {SourceKind::kTrain, 3, 10}},
      {"abbattimento on a station marker",
       kLine,
       train_source(
           "stazione, 0, 8, 400, 0,0,0, 0,0,0, 0,0,0, 0, 10,50,0, A\r\n"
           "abbattimento, 350, 80\r\n"),
       7,
       7,
       {SourceKind::kTrain, 3, 1},
       {SourceKind::kTrain, 3, 11}},
  };
  for (const auto& k : cases) {
    const Built b = build(k.line, k.train);
    ASSERT_EQ(b.c.model.error_code, k.code) << k.what;
    const FaultRecord& f = b.c.model.fault_log.back();
    EXPECT_EQ(f.cell, k.cell) << k.what;
    ASSERT_TRUE(f.placed.has_value()) << k.what;
    EXPECT_EQ(f.placed->cell, k.cell) << k.what;
    EXPECT_EQ(f.placed->row.keyword, k.placed_row) << k.what;
    EXPECT_EQ(f.placed->field, k.placed_field) << k.what;
  }
}

// The row's bytes run from its keyword to the last field its handler read;
// blanking them leaves a source that compiles without the row.
TEST(FaultRecord, RowSpanCoversExactlyTheRow) {
  const struct {
    std::string row;   // as written, leading blanks and line end included
    std::string span;  // what the record's bytes hold
    std::int32_t code;
  } cases[] = {
      {"   segnale,  1010, 1,4,1,0,0, 0,0,0,0,0   \r\n",
       "segnale,  1010, 1,4,1,0,0, 0,0,0,0,0", 16},
      // The handler stops at the position: the row's bytes end there.
      {"stazione, 2775, 2, 600\r\n", "stazione, 2775", 8},
  };
  for (const auto& k : cases) {
    const std::string train = train_source(kSignal1000 + k.row);
    const Built b = build(kLine, train);
    ASSERT_EQ(b.c.model.error_code, k.code) << k.row;
    const SourceRow& row = b.c.model.fault_log.back().row;
    ASSERT_LE(row.begin, row.end);
    ASSERT_LE(row.end, train.size());
    EXPECT_EQ(train.substr(row.begin, row.end - row.begin), k.span);
    EXPECT_EQ(row.keyword.line, 4);

    std::string blanked = train;
    blanked.replace(row.begin, row.end - row.begin, row.end - row.begin, ' ');
    EXPECT_EQ(build(kLine, blanked).c.model.error_code, 0) << blanked;
  }
}

}  // namespace
}  // namespace scenc
