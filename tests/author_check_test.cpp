// The author check on whole sources: clean ones give nothing, the model it
// keeps is the one a build writes its files from, and each mistake, made as
// a small edit of the embedded sources, is reported once, on its own line
// and field, with the faults behind a stage-ending fault found by recovery.
#include "tools/check/check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "testing/embedded_sources.h"
#include "testing/generate_scenario.h"
#include "output/output_directory.h"
#include "scenario/build_run.h"
#include "tools/check/diagnostic_output.h"

namespace scenc::tools {
namespace {

using Pair = testing::SourceTexts;
using testing::embedded_source_texts;

// Replaces `from` by `to` on the 1-based line `line` of `text`.
std::string edit(std::string text, int line, const std::string& from,
                 const std::string& to) {
  std::size_t start = 0;
  for (int l = 1; l < line; ++l) start = text.find('\n', start) + 1;
  const std::size_t end = text.find('\n', start);
  const std::size_t at = text.find(from, start);
  EXPECT_TRUE(at != std::string::npos && at < end)
      << "line " << line << " has no `" << from << "`";
  if (at == std::string::npos || at >= end) return text;
  return text.replace(at, from.size(), to);
}

CheckResult check(const Pair& p, const CheckOptions& options = {}) {
  return check_sources(p.line, p.train, kEmbeddedLineName, kEmbeddedTrainNumber,
                       options);
}

std::string listing(const CheckResult& r) {
  std::ostringstream s;
  for (const AuthorDiagnostic& d : r.diagnostics) {
    s << (d.source == SourceKind::kTrain ? "T" : "L") << d.line << ":"
      << d.column << " " << d.check << ": " << d.message << "\n";
  }
  return s.str();
}

// The three files a build writes from `model`.
std::map<std::string, std::string> files_of(const Model& model) {
  MemoryDirectory out;
  write_scenario_files(model, out);
  return out.files;
}

TEST(AuthorCheck, CleanSourcesGiveNoDiagnosticAndTheBuildsModel) {
  const bench::MaximalScenario maximal = bench::generate_maximal_scenario();
  const struct {
    const char* what;
    Pair sources;
    std::string_view line_name;
    std::string_view train_number;
  } cases[] = {
      {"embedded", embedded_source_texts(), kEmbeddedLineName, kEmbeddedTrainNumber},
      {"maximal",
       {maximal.line_source, maximal.train_source},
       "Massima",
       "10001"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const CheckResult r = check_sources(c.sources.line, c.sources.train,
                                        c.line_name, c.train_number);
    EXPECT_EQ(listing(r), "");
    EXPECT_EQ(r.error_exit, 0);
    EXPECT_EQ(r.recovery_compiles, 0);

    // The model the check keeps writes the files a build writes.
    Model built;
    built.line_name = c.line_name;
    built.train_number = c.train_number;
    MemorySources sources(c.sources.line, c.sources.train);
    MemoryDirectory out;
    memorizza_percorso(built, 1, sources, out);
    EXPECT_TRUE(files_of(r.model) == out.files);
  }
}

struct Expected {
  std::string check;
  char source;  // 'L' line source, 'T' train source
  int line;
  int column;
  bool after_recovery = false;
};

void expect_diagnostics(const CheckResult& r,
                        const std::vector<Expected>& expected) {
  ASSERT_EQ(r.diagnostics.size(), expected.size()) << listing(r);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const AuthorDiagnostic& d = r.diagnostics[i];
    const Expected& e = expected[i];
    EXPECT_EQ(d.check, e.check) << listing(r);
    EXPECT_EQ(d.source,
              e.source == 'T' ? SourceKind::kTrain : SourceKind::kLine)
        << listing(r);
    EXPECT_EQ(d.line, e.line) << listing(r);
    EXPECT_EQ(d.column, e.column) << listing(r);
    EXPECT_EQ(d.after_recovery, e.after_recovery) << listing(r);
    EXPECT_GT(d.end_column, d.column);
    EXPECT_FALSE(d.message.empty());
  }
}

// ---- Mistakes, one at a time ---------------------------------------------

// Removes every line of `text` that holds `word`.
std::string without_lines(const std::string& text, const std::string& word) {
  std::string out;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end - start + 1);
    if (line.find(word) == std::string::npos) out += line;
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return out;
}

// Each case is a small edit of the embedded sources that an author makes:
// it is reported on its own line and field, and nothing else is (one
// mistake, few diagnostics).
TEST(AuthorCheck, EachMistakeIsReportedOnItsLineAndField) {
  using Make = std::function<void(Pair&)>;
  const struct {
    const char* what;
    Make make;
    std::vector<Expected> expected;
  } cases[] = {
      // Keywords and headers.
      {"a keyword typed wrong",
       [](Pair& p) { p.train = edit(p.train, 40, "stazione", "stazoine"); },
       {{"unknown-keyword", 'T', 40, 1}}},
      {"a keyword typed wrong on a row whose name holds a keyword: the "
       "name begins a row that eats the next; recovery skips the fields "
       "the row would have read, so the next name that holds a keyword "
       "does the same once more",
       [](Pair& p) {
         p.train = edit(p.train, 41, "stazione", "stazoine");
         p.train = edit(p.train, 41, "SIGNA", "STAZIONE DI SIGNA");
         p.train = edit(p.train, 42, "CARMIGNANO", "STAZIONE DI CARMIGNANO");
       },
       {{"unknown-keyword", 'T', 41, 1},
        {"fault-25", 'T', 42, 12},
        {"fault-25", 'T', 43, 12, true}}},
      {"a station placed far ahead: the later stations it meets are one "
       "error",
       [](Pair& p) { p.train = edit(p.train, 43, "27550", "45550"); },
       {{"fault-22", 'T', 44, 12}}},
      {"fields separated by semicolons",
       [](Pair& p) {
         p.line = edit(p.line, 16, "pendenza  , 500    , 0",
                       "pendenza  ; 500    ; 0");
       },
       {{"row-runs-into-next", 'L', 16, 1}}},
      {"a keyword typed wrong in the line's body",
       [](Pair& p) { p.line = edit(p.line, 19, "pendenza", "pendnza"); },
       {{"unknown-keyword", 'L', 19, 1}}},
      {"a keyword whose case matters, with a capital",
       [](Pair& p) { p.line = edit(p.line, 8, "progressiva", "Progressiva"); },
       {{"keyword-case", 'L', 8, 1}}},
      {"a section header typed wrong",
       [](Pair& p) { p.line = edit(p.line, 14, "[pendenze]", "[pendnze]"); },
       {{"unknown-section", 'L', 14, 1}}},
      {"a body row in the general section",
       [](Pair& p) {
         p.line = edit(p.line, 12, "sfondo tre,    0",
                       "sfondo tre,    0\r\npendenza, 100, 2");
       },
       {{"row-in-wrong-part", 'L', 13, 1}}},
      {"a train row in the line source",
       [](Pair& p) { p.line = edit(p.line, 36, "", "numero vetture, 6"); },
       {{"row-in-wrong-part", 'L', 36, 1}}},
      {"a row before [generale]",
       [](Pair& p) {
         p.train = edit(p.train, 3, "inizio_dati", "numero vetture, 7");
       },
       {{"row-before-generale", 'T', 3, 1}}},
      {"[generale] typed wrong: one warning for the whole train source",
       [](Pair& p) { p.train = edit(p.train, 4, "[generale]", "[genrale]"); },
       {{"missing-generale", 'T', 4, 1}}},
      {"a \"-\" inside a keyword",
       [](Pair& p) { p.line = edit(p.line, 44, "curvad5", "curva-d5"); },
       {{"comment-hides-row", 'L', 44, 1}}},
      {"a third comment in a row that holds a keyword",
       [](Pair& p) {
         p.line = edit(p.line, 45, "- cascine",
                       "- cascine\r\n- x\r\n- curvas3 qui, 8100, 50");
       },
       {{"third-comment", 'L', 47, 1}}},
      {"the last row of a source, never read",
       [](Pair& p) { p.line = edit(p.line, 121, "[fine]", "pendenza"); },
       {{"last-row-not-read", 'L', 121, 1}}},

      // Rows that do not keep to their line.
      {"a station row one number short eats the next station",
       [](Pair& p) { p.train = edit(p.train, 43, "0, 0, 0,", "0, 0,"); },
       {{"row-runs-into-next", 'T', 43, 1}}},
      {"a row split over two lines",
       [](Pair& p) { p.train = edit(p.train, 56, "30, 50", "30\r\n 50"); },
       {{"row-continues", 'T', 56, 1}}},
      {"a row split after a comma: an empty field, and all shifts",
       [](Pair& p) { p.train = edit(p.train, 56, "30, 50", "30,\r\n 50"); },
       {{"row-continues", 'T', 56, 1},
        {"fault-13", 'T', 56, 17},
        {"empty-number", 'T', 56, 26}}},
      {"a decimal comma",
       [](Pair& p) { p.line = edit(p.line, 18, "   , 0", "   , 0,5"); },
       {{"extra-fields", 'L', 18, 24}}},
      {"a station name with a comma",
       [](Pair& p) { p.train = edit(p.train, 41, "SIGNA", "SIGNA, LASTRA"); },
       {{"text-cut-at-comma", 'T', 41, 76}}},

      // Numbers.
      {"a decimal point",
       [](Pair& p) { p.line = edit(p.line, 22, "-1", "-1.5"); },
       {{"not-a-number", 'L', 22, 22}}},
      {"a word for a number",
       [](Pair& p) { p.train = edit(p.train, 5, "6", "abc"); },
       {{"not-a-number", 'T', 5, 20}}},
      {"a letter O for a zero",
       [](Pair& p) { p.line = edit(p.line, 46, "8200", "8200O"); },
       {{"not-a-number", 'L', 46, 11}}},
      {"a tab after a number",
       [](Pair& p) { p.line = edit(p.line, 17, "2000   ,", "2000\t,"); },
       {{"not-a-number", 'L', 17, 13}}},
      {"an empty number",
       [](Pair& p) { p.line = edit(p.line, 16, "500", ""); },
       {{"empty-number", 'L', 16, 17}}},
      {"a gradient a byte cannot keep",
       [](Pair& p) { p.line = edit(p.line, 20, "-2", "-200"); },
       {{"value-out-of-range", 'L', 20, 22}}},
      {"a signal code of two digits",
       [](Pair& p) { p.train = edit(p.train, 62, "1, 4, 1", "1, 14, 1"); },
       {{"value-out-of-range", 'T', 62, 21}}},
      {"a board speed off the 5 km/h steps",
       [](Pair& p) { p.line = edit(p.line, 93, "105", "107"); },
       {{"value-rounded", 'L', 93, 23}}},
      {"a speed limit off the 5 km/h steps",
       [](Pair& p) { p.train = edit(p.train, 14, "95", "97"); },
       {{"value-rounded", 'T', 14, 33}}},
      {"a speed limit with a digit too many",
       [](Pair& p) { p.train = edit(p.train, 13, "115", "1150"); },
       {{"implausible-speed", 'T', 13, 32}}},

      // Positions and extents.
      {"a negative curve length",
       [](Pair& p) { p.line = edit(p.line, 38, "50", "-50"); },
       {{"negative-length", 'L', 38, 18}}},
      {"a negative slow-order length: the fault it raises, and its cause",
       [](Pair& p) { p.train = edit(p.train, 56, "30, 50", "30, -50"); },
       {{"fault-13", 'T', 56, 17}, {"negative-length", 'T', 56, 27}}},
      {"a mountain whose end lies before its start",
       [](Pair& p) {
         p.line = edit(p.line, 115, "57050,57350", "57350,57050");
       },
       {{"negative-length", 'L', 115, 17}}},
      {"a signal before the start of the line",
       [](Pair& p) { p.train = edit(p.train, 62, "1000", "-50"); },
       {{"negative-position", 'T', 62, 12}}},
      {"gradients out of order",
       [](Pair& p) { p.line = edit(p.line, 21, "6000", "4500"); },
       {{"out-of-order", 'L', 21, 13}}},
      {"speed limits out of order",
       [](Pair& p) { p.train = edit(p.train, 15, "7380", "2000"); },
       {{"out-of-order", 'T', 15, 21}}},
      {"a curve inside the one before it",
       [](Pair& p) { p.line = edit(p.line, 40, "1400,  100", "1200,  100"); },
       {{"out-of-order", 'L', 40, 11}}},
      {"a line length ten times too short: one warning and one fault in "
       "each source, each naming the rest in a note",
       [](Pair& p) { p.line = edit(p.line, 6, "82000", "8200"); },
       {{"beyond-line-end", 'L', 23, 13},
        {"fault-15", 'L', 24, 13},
        {"beyond-line-end", 'T', 16, 20},
        {"fault-15", 'T', 17, 20}}},
      {"a length that is not a number",
       [](Pair& p) { p.line = edit(p.line, 6, "82000", "82000m"); },
       {{"not-a-number", 'L', 6, 24},
        {"beyond-line-end", 'L', 15, 13},
        {"fault-15", 'L', 22, 13},
        {"beyond-line-end", 'T', 13, 22},
        {"fault-15", 'T', 15, 21}}},
      {"a station beyond the end of the line",
       [](Pair& p) { p.train = edit(p.train, 52, "80850", "86000"); },
       {{"beyond-line-end", 'T', 52, 12}}},
      {"mountains 100 m apart",
       [](Pair& p) {
         p.line = edit(p.line, 115, "57050,57350", "29300,29600");
       },
       {{"mountains-joined", 'L', 115, 11}}},

      // Curve keywords.
      {"a curve side that is neither s nor d",
       [](Pair& p) { p.line = edit(p.line, 43, "curvas5", "curvax5"); },
       {{"curve-side", 'L', 43, 1}}},
      {"a curve with a second class digit",
       [](Pair& p) { p.line = edit(p.line, 46, "curvas3", "curvas3 km12"); },
       {{"curve-class", 'L', 46, 1}}},

      // Text.
      {"a UTF-8 station name",
       [](Pair& p) {
         p.train = edit(p.train, 44, "EMPOLI", "EMPOLI CITT\xC3\x80");
       },
       {{"not-windows-1252", 'T', 44, 69}}},
      {"a byte-order mark",
       [](Pair& p) { p.line = "\xEF\xBB\xBF" + p.line; },
       {{"byte-order-mark", 'L', 1, 1}}},
      {"a quote never closed",
       [](Pair& p) {
         p.line = edit(p.line, 119, "(  Km. ) (20", "\"(  Km. ) (20");
       },
       {{"unclosed-quote", 'L', 119, 33}}},
      {"text after a closing quote",
       [](Pair& p) {
         p.train = edit(p.train, 51, "NAVACCHIO", "\"NAVACCHIO\" centro");
       },
       {{"text-after-quote", 'T', 51, 69}}},

      // Tables and single rows.
      {"no speed-limit row at all",
       [](Pair& p) { p.train = without_lines(p.train, "velocita'"); },
       {{"missing-table", 'T', 4, 1}}},
      {"a speed-limit table that starts at 500 m",
       [](Pair& p) {
         p.train = edit(p.train, 12, "     0    ,  30", "   100    ,  30");
       },
       {{"table-starts-late", 'T', 12, 22}}},
      {"a row that sets one value, given twice",
       [](Pair& p) {
         p.train = edit(p.train, 5, "numero vetture,    6",
                        "numero vetture,    6\r\nnumero vetture,    8");
       },
       {{"repeated-row", 'T', 6, 1}}},
      // What the compiler reads past the lines an author meant.
      {"mountains joined, two rows on one line and one on the next: the "
       "same two warnings as with a row on each line",
       [](Pair& p) {
         p.line = edit(p.line, 114, "montagna, 29100,29200,2",
                       "montagna, 29100,29200,2, montagna, 29300,29500,1");
         p.line = edit(p.line, 115, "57050,57350", "29600,29700");
       },
       {{"mountains-joined", 'L', 114, 36},
        {"mountains-joined", 'L', 115, 11}}},
      {"a signal on cell 1: the error exit at its row",
       [](Pair& p) { p.train = edit(p.train, 62, "1000", "0"); },
       {{"fault-1250", 'T', 62, 12}}},
      {"a signal at `46OO`, read as 0: the error exit at its row",
       [](Pair& p) { p.train = edit(p.train, 62, "1000", "46OO"); },
       {{"fault-1250", 'T', 62, 12}}},
      {"a station at `338OO`, read as 0: the fault at its position",
       [](Pair& p) { p.train = edit(p.train, 39, "7400", "338OO"); },
       {{"fault-22", 'T', 39, 13}}},
      {"a tab inside a station's position",
       [](Pair& p) { p.train = edit(p.train, 39, "7400", "74\t00"); },
       {{"fault-22", 'T', 39, 13}}},
      {"a board speed too large for its field, and another off its steps: "
       "the fault at the speed, the warning kept",
       [](Pair& p) {
         p.line = edit(p.line, 93, "120, 0, 0, 0, 0, 0", "2000, 0, 7, 0, 0, 0");
       },
       {{"fault-25", 'L', 93, 33}, {"value-rounded", 'L', 93, 42}}},
      {"[aderenza] for [aderenze]: an adhesion row",
       [](Pair& p) { p.train = edit(p.train, 9, "[aderenze]", "[aderenza]"); },
       {{"header-read-as-row", 'T', 9, 1}}},
      {"[stazione] for [stazioni]: a station row that reads the lines after "
       "it",
       [](Pair& p) { p.train = edit(p.train, 33, "[stazioni]", "[stazione]"); },
       {{"header-read-as-row", 'T', 33, 1}, {"fault-24", 'T', 34, 1}}},
      {"[curva] for [curve]: a curve row without a class",
       [](Pair& p) { p.line = edit(p.line, 35, "[curve]", "[curva]"); },
       {{"fault-103", 'L', 35, 1}, {"header-read-as-row", 'L', 35, 1}}},
      {"comments written as in other languages",
       [](Pair& p) {
         p.line = edit(p.line, 36, "",
                       "// curvas3 lasciata, 100, 50\r\n# nota\r\n; nota");
       },
       {{"not-a-comment", 'L', 36, 1},
        {"not-a-comment", 'L', 37, 1},
        {"not-a-comment", 'L', 38, 1}}},
      {"a row separated by tabs: one warning for the row",
       [](Pair& p) {
         p.train = edit(p.train, 62, "1000, 1, 4, 1, 0, 0,     0, 0, 0, 0, 0",
                        "1000,\t1,\t4,\t1,\t0,\t0,\t0,\t0,\t0,\t0,\t0");
       },
       {{"not-a-number", 'T', 62, 17}}},
      {"a train without stations",
       [](Pair& p) { p.train = without_lines(p.train, "tazione"); },
       {{"no-stations", 'T', 4, 1}}},
      {"the length row in the body: no grid, at the general section's end",
       [](Pair& p) {
         p.line = edit(p.line, 6, "lunghezza percorso,    82000", "");
         p.line = edit(p.line, 14, "[pendenze]",
                       "[pendenze]\r\nlunghezza percorso,    82000");
       },
       {{"fault-25", 'L', 14, 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Pair p = embedded_source_texts();
    c.make(p);
    expect_diagnostics(check(p), c.expected);
  }
}

// A keyword typed wrong is offered the field mended at the least cost: a
// letter left out, one too many or two swapped is nearer than a letter
// written for another, so "curvd5" is "curvad5", the author's own class
// and side kept.
TEST(AuthorCheck, KeywordsTypedWrongAreOfferedTheFieldMended) {
  const struct {
    int line;
    const char* keyword;
    const char* typed;
    const char* offered;
    char source;
  } cases[] = {
      {44, "curvad5", "curvd5", "curvad5", 'L'},
      {43, "curvas5", "crvas5", "curvas5", 'L'},
      {19, "pendenza", "pendnza", "pendenza", 'L'},
      {19, "pendenza", "pendenzza", "pendenza", 'L'},
      {114, "montagna", "montgna", "montagna", 'L'},
      {40, "stazione", "stazoine", "stazione", 'T'},
      {40, "stazione", "stazion", "stazione", 'T'},
      {62, "segnale", "segnle", "segnale", 'T'},
      {56, "rallentamento", "rallentmento", "rallentamento", 'T'},
      {5, "vetture", "veture", "numero vetture", 'T'},
      {7, "sabbia", "sabia", "sabbia", 'T'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    Pair p = embedded_source_texts();
    std::string& text = c.source == 'T' ? p.train : p.line;
    text = edit(text, c.line, c.keyword, c.typed);
    const CheckResult r = check(p);
    ASSERT_EQ(r.diagnostics.size(), 1u) << listing(r);
    EXPECT_EQ(r.diagnostics[0].check, "unknown-keyword");
    EXPECT_NE(r.diagnostics[0].message.find(
                  "did you mean `" + std::string(c.offered) + "`?"),
              std::string::npos)
        << r.diagnostics[0].message;
  }
}

// A source saved as UTF-16, either byte order, with its mark or without, is
// named as such, and nothing else of it is told row by row.
TEST(AuthorCheck, Utf16SourcesAreNamed) {
  const auto utf16 = [](const std::string& text, bool big, bool mark) {
    std::string out = mark ? (big ? "\xFE\xFF" : "\xFF\xFE") : "";
    for (const char c : text) {
      out += big ? std::string{'\0', c} : std::string{c, '\0'};
    }
    return out;
  };
  for (const bool big : {false, true}) {
    for (const bool mark : {false, true}) {
      SCOPED_TRACE(std::string(big ? "big" : "little") + "-endian" +
                   (mark ? ", marked" : ""));
      Pair train = embedded_source_texts();
      train.train = utf16(train.train, big, mark);
      EXPECT_EQ(listing(check(train)).substr(0, 20), "T1:1 utf-16-source: ");
      Pair line = embedded_source_texts();
      line.line = utf16(line.line, big, mark);
      const CheckResult r = check(line);
      ASSERT_EQ(r.diagnostics.size(), 2u) << listing(r);
      EXPECT_EQ(r.diagnostics[0].check, "utf-16-source");
      EXPECT_EQ(r.diagnostics[1].check, "fault-102");
    }
  }
}

// A line of thousands of characters is shown around the field the
// diagnostic points at, cut where "..." stands, the caret still under it.
TEST(AuthorCheck, LongLinesAreExcerptedAroundTheField) {
  Pair p = embedded_source_texts();
  p.line = edit(p.line, 22, "-1", "-1" + std::string(1500, ' ') + ", 1.5" +
                                     std::string(1500, ' '));
  const CheckResult r = check(p);
  std::ostringstream out;
  print_diagnostics(out, r, CheckedFiles{"l.txt", "t.txt", p.line, p.train},
                    false);
  const std::string text = out.str();
  ASSERT_NE(text.find("[extra-fields]"), std::string::npos) << text;
  std::istringstream lines(text.substr(text.find("[extra-fields]")));
  std::string header, excerpt, caret;
  std::getline(lines, header);
  std::getline(lines, excerpt);
  std::getline(lines, caret);
  EXPECT_LE(excerpt.size(), 140u) << excerpt;
  EXPECT_NE(excerpt.find("..."), std::string::npos);
  const std::size_t at = caret.find('^');
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(excerpt.substr(at, 3), "1.5") << excerpt << "\n" << caret;
}

// Text bound for a terminal keeps what it says on one line and in the order
// written: controls, C1 controls, characters that turn the direction of the
// text around them and bytes that are no UTF-8 are shown escaped.
TEST(AuthorCheck, TerminalTextEscapesWhatCouldMoveOrHideText) {
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"Stazione \xc3\xa8 km 3", "Stazione \xc3\xa8 km 3"},
      {"a\tb\r\nc", "a\\tb\\r\\nc"},
      {"\x1b]0;x\x07\x7f", "\\x1b]0;x\\x07\\x7f"},
      {"\u009b2J", "\\u009b2J"},
      {"\xff\xc3", "\\xff\\xc3"},
      // Left-to-right and right-to-left embeddings and overrides, the pop,
      // the isolates and their pop; the marks beside them stay.
      {"a\xe2\x80\xaa\xe2\x80\xab\xe2\x80\xac\xe2\x80\xad\xe2\x80\xaez",
       "a\\u202a\\u202b\\u202c\\u202d\\u202ez"},
      {"\xe2\x81\xa6\xe2\x81\xa7\xe2\x81\xa8\xe2\x81\xa9",
       "\\u2066\\u2067\\u2068\\u2069"},
      {"\xe2\x80\x8e\xe2\x80\x8f\xe2\x81\xaa",
       "\xe2\x80\x8e\xe2\x80\x8f\xe2\x81\xaa"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(terminal_text(c.text), c.shown) << c.text;
  }
}

// ---- Faults in an author's words -------------------------------------------

std::string signboards(int count) {
  std::string rows;
  for (int i = 0; i < count; ++i) {
    rows +=
        "cartello indicatore, " + std::to_string(82100 + 50 * i) + ", (t)\r\n";
  }
  return rows;
}

// Each fault says what happened, with the numbers the author wrote, and
// points at the related row in a note where there is one.
TEST(AuthorCheck, FaultsNameTheirCause) {
  const struct {
    const char* what;
    std::function<void(Pair&)> make;
    std::string check;
    std::string says;
    std::string note;  // empty: no note
  } cases[] = {
      {"a signal on a signal's cell",
       [](Pair& p) { p.train = edit(p.train, 65, "6400", "4610"); }, "fault-16",
       "where a signal placed by line 64 already stands",
       "a signal placed here takes cell 93"},
      {"a signboard on a board's cell",
       [](Pair& p) {
         p.line = edit(p.line, 93, "indicatori_vmax, 800,",
                       "indicatori_vmax, 18560,");
       },
       "fault-6",
       "where a speed-indicator board placed by line 93 already "
       "stands",
       "a speed-indicator board placed here takes cell 372"},
      {"a position beyond the grid says the limit",
       [](Pair& p) { p.train = edit(p.train, 111, "79150", "88950"); },
       "fault-15",
       "the greatest signal position accepted is 88900 m (the line's "
       "82000 m and the 7000 m the cells run on beyond it)",
       ""},
      {"a station beyond the grid says the stations' limit",
       [](Pair& p) { p.train = edit(p.train, 52, "80850", "88250"); },
       "fault-15", "the greatest station position accepted is 88200 m", ""},
      {"a station off the 50 m grid",
       [](Pair& p) { p.train = edit(p.train, 39, "7400", "7425"); }, "fault-8",
       "station position 7425 m is not a multiple of 50 m (7400 or 7450 m)",
       ""},
      {"stations too close point at the previous one",
       [](Pair& p) { p.train = edit(p.train, 40, "11950", "7900"); },
       "fault-22",
       "only 0 m after the previous station's extent ends at 7700 m",
       "the previous station, whose extent ends at 7700 m"},
      {"a curve without a class digit",
       [](Pair& p) { p.line = edit(p.line, 43, "curvas5", "curvas"); },
       "fault-103", "the curve keyword `curvas` holds no class digit 1 to 6",
       ""},
      {"a curve past the longest line",
       [](Pair& p) {
         p.line = edit(p.line, 43, "4050,  700", "4050,  999000");
       },
       "fault-103", "carries the line's profile to 1003050 m, past 1000000 m",
       ""},
      {"a number too large for its field",
       [](Pair& p) { p.train = edit(p.train, 7, "300", "3000000000"); },
       "fault-25", "the number 3000000000 does not fit a 16-bit field", ""},
      {"a speed whose code does not fit a byte, at its own row",
       [](Pair& p) { p.train = edit(p.train, 13, "115", "1300"); }, "fault-25",
       "the speed limit 1300 km/h is kept as round(speed / 5) in a byte, "
       "where 260 does not fit",
       ""},
      {"a source that ends inside a row",
       [](Pair& p) {
         p.train = p.train.substr(0, p.train.find("\r\n[codici]")) +
                   "\r\nstazione, 81500, 2";
       },
       "fault-25", "the source ends inside this station row",
       "the station row that the source ends inside"},
      {"a signboard beyond the slots",
       [](Pair& p) { p.line = edit(p.line, 120, "", signboards(79)); },
       "fault-25", "this signboard has no slot for its text", ""},
      {"too many stations for the slots",
       [](Pair& p) { p.line = edit(p.line, 120, "", signboards(63)); },
       "fault-10",
       "one station too many: with 66 signboard texts at most 12 "
       "stations fit",
       "3 more rows raise this fault for the same cause"},
      {"a signal on cell 1: the rule and that nothing is written",
       [](Pair& p) { p.train = edit(p.train, 62, "1000", "46OO"); },
       "fault-1250",
       "cell 1 is reserved (a position from -24 to 24 m falls on it, 26 to "
       "74 m for an abbattimento row), so the build stops at its error exit "
       "1250 and writes no file; its posizione was read as 0 from `46OO`",
       ""},
      {"a position that read as 0 says from what",
       [](Pair& p) { p.train = edit(p.train, 39, "7400", "338OO"); },
       "fault-22", "; its position was read as 0 from `338OO`",
       "the previous station, whose extent ends at 3100 m"},
      {"and a tab in it",
       [](Pair& p) { p.train = edit(p.train, 39, "7400", "74\t00"); },
       "fault-22", "; its position was read as 0 from `74\\t00`",
       "the previous station, whose extent ends at 3100 m"},
      {"gradient rows 10 m apart run the cells out: one error for them all",
       [](Pair& p) {
         p.line = edit(p.line, 6, "82000", "2000");
         std::string rows;
         for (int m = 0; m < 10000; m += 10) {
           rows += "pendenza, " + std::to_string(m) + ", 1\r\n";
         }
         p.line = edit(p.line, 15, "pendenza  , 300    , 4", rows);
       },
       "fault-25",
       "beyond the last track cell (180): a row of a stretch fills the cells "
       "from where the previous row left off",
       "more rows raise this fault for the same cause"},
      {"the line without [generale] points at the header typed wrong",
       [](Pair& p) { p.line = edit(p.line, 5, "[generale]", "[generali]"); },
       "fault-102",
       "the line source ends before a field holding \"[generale]\"",
       "this header is not [generale]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Pair p = embedded_source_texts();
    c.make(p);
    const CheckResult r = check(p);
    const auto d = std::find_if(
        r.diagnostics.begin(), r.diagnostics.end(),
        [&](const AuthorDiagnostic& x) { return x.check == c.check; });
    ASSERT_NE(d, r.diagnostics.end()) << listing(r);
    EXPECT_NE(d->message.find(c.says), std::string::npos) << d->message;
    if (c.note.empty()) {
      EXPECT_TRUE(d->notes.empty()) << d->notes.front().message;
    } else {
      ASSERT_EQ(d->notes.size(), 1u);
      EXPECT_NE(d->notes[0].message.find(c.note), std::string::npos)
          << d->notes[0].message;
      EXPECT_GT(d->notes[0].line, 0);
    }
  }
}

// Independent faults, each of which ends its stage: every one is reported,
// those behind the first found by compiling again without its row.
TEST(AuthorCheck, RecoveryReportsEveryIndependentFault) {
  const Pair e = embedded_source_texts();
  Pair p = e;
  p.line = edit(p.line, 24, "16000", "96000");     // beyond the grid
  p.line = edit(p.line, 120, "22100", "20750");    // signboard on a signboard
  p.train = edit(p.train, 39, "7400", "7425");     // station off 50 m
  p.train = edit(p.train, 65, "6400", "4610");     // signal on a signal
  p.train = edit(p.train, 102, "65550", "64210");  // signal on a signal
  const CheckResult r = check(p);
  // The line stage skips the rest of the line source at its fault 15 and
  // the train stage ends at its fault 8: both in the first compile.
  expect_diagnostics(r, {{"fault-15", 'L', 24, 13},
                         {"fault-6", 'L', 120, 23, true},
                         {"fault-8", 'T', 39, 13},
                         {"fault-16", 'T', 65, 12, true},
                         {"fault-16", 'T', 102, 11, true}});
  // One compile past all the faults, however many.
  EXPECT_EQ(r.recovery_compiles, 1);
  // The model is still the compile of the sources as given.
  EXPECT_EQ(r.model.error_code, 8);
  EXPECT_EQ(r.model.fault_log.size(), 2u);

  // The cap stops the search.
  CheckOptions capped;
  capped.max_errors = 2;
  const CheckResult few = check(p, capped);
  EXPECT_EQ(few.errors(), 2);
  EXPECT_TRUE(few.truncated);
}

// Thousands of like rows are told a hundred times and counted after that;
// a source larger than any an author writes is compiled for its faults but
// not traced row by row, whose memory would be many times its size.
TEST(AuthorCheck, FloodsOfRowsStayBounded) {
  const Pair e = embedded_source_texts();
  Pair p = e;
  std::string typos;
  for (int i = 0; i < 150; ++i) typos += "stazoine, 1, 2\r\n";
  p.train = edit(p.train, 5, "numero vetture,    6",
                 "numero vetture,    6\r\n" + typos);
  const CheckResult many = check(p);
  ASSERT_EQ(many.warnings(), 100) << listing(many);
  const AuthorDiagnostic& last = many.diagnostics.back();
  ASSERT_EQ(last.notes.size(), 1u);
  EXPECT_EQ(last.notes[0].message,
            "50 more unknown-keyword warnings in this source are not shown");

  Pair large = e;
  large.train += std::string(kLargestCheckedSource, '\n');
  const CheckResult r = check(large);
  EXPECT_EQ(listing(r),
            "T1:1 source-too-large: this source is larger than 1 MiB: its "
            "faults are reported, but it is not read row by row for "
            "warnings\n");
  EXPECT_EQ(files_of(r.model), files_of(check(e).model));
}

}  // namespace
}  // namespace scenc::tools
