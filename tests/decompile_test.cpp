// What the decompile gives back from the files of sources written to reach
// its harder cases: the fills past the last position, mountains that join,
// overlap and carry markers out of step, curves behind the cursor and at
// the end of the plan, slow orders on rounding ties, signals whose approach
// codes ask for another order, abbattimento rows where the finishing pass
// marks too. Each compiles without a fault and must come back byte for
// byte. Then what it cannot give back, each said with its record and
// offset.
#include <gtest/gtest.h>

#include <string>

#include "tools/decompile/decompile.h"
#include "tools/decompile/row_diff.h"

namespace scenc::tools {
namespace {

std::string crlf(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// A line of 10000 m (cells 0 to 340, positions up to 16900 m) with `rows`
// in its body, and a train with `train` after its general rows.
std::string line_source(const std::string& rows, int length = 10000) {
  return crlf("Prova\n[generale]\nlunghezza percorso, " + std::to_string(length) +
              "\nripetizione segnali 4 codici, 4650, 9000\n[pendenze]\n" + rows +
              "[fine]\n");
}
std::string train_source(const std::string& rows) {
  return crlf("Treno\n[generale]\nnumero vetture, 6\naderenza, 0, 100\n"
              "velocita' limite, 0, 100\n" +
              rows + "[fine]\n");
}

struct Decompiled {
  CompiledInMemory compiled;
  DecompiledScenario d;
};

Decompiled decompiled(const std::string& line, const std::string& train,
                      std::int32_t geometry = 1, const std::string& name = "Prova") {
  Decompiled out;
  out.compiled = compile_in_memory(line, train, name, "7", geometry);
  out.d = decompile(decode_scenario(out.compiled.files), out.compiled.files);
  return out;
}

// Rows with their columns' blanks taken out: "pendenza, 300, 4".
std::string unaligned(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' && !out.empty() && (out.back() == ' ' || out.back() == ',')) continue;
    if (c == ',' && !out.empty() && out.back() == ' ') out.pop_back();
    out += c;
    if (c == ',') out += ' ';
  }
  return out;
}

std::string notes_of(const DecompiledScenario& d) {
  std::string text;
  for (const DecompileNote& n : d.notes) text += "\n  " + n.record + ": " + n.message;
  return text;
}

struct Case {
  const char* what;
  const char* line_rows;
  const char* train_rows;
  const char* written;  // a row the decompiled sources hold, or ""
};

// Sources whose files must come back byte for byte, without a doubt.
const Case kExact[] = {
    {"gradient rows at the last position fill the last three cells",
     "pendenza, 16900, 5\npendenza, 16900, 7\npendenza, 16900, 9\n", "",
     "pendenza, 16900, 9"},
    {"a gradient from before the first cell", "pendenza, 10, 155\npendenza, 4000, -100\n",
     "", "pendenza, 0, 155"},
    {"speed and adhesion rows at the last position",
     "", "velocita' limite, 16900, 60\nvelocita' limite, 16900, 70\n"
         "aderenza, 16900, 5\naderenza, 16900, 6\naderenza, 16900, 7\n",
     "velocita' limite, 16900, 70"},
    {"mountains 200 m apart keep their types",
     "montagna, 1000, 2000, 2\nmontagna, 2200, 3000, 1\n", "", "montagna, 2200, 3000, 1"},
    {"a mountain 150 m after the one before becomes type 3",
     "montagna, 1000, 2000, 2\nmontagna, 2150, 3000, 1\n", "", "montagna, 2150, 3000, 3"},
    {"a mountain that starts 200 m after the one before on the same cells",
     "montagna, 1000, 2000, 2\nmontagna, 2201, 3000, 1\n", "", ""},
    {"overlapping mountains whose stretches touch, with their own types",
     "montagna, 5000, 8000, 1\nmontagna, 1000, 1500, 1\nmontagna, 1700, 6000, 2\n", "",
     "montagna, 1700, 6000, 2"},
    {"markers out of step with the stretch they stand in",
     "montagna, 1000, 3000, 12\nmontagna, 1050, 1300, 12\n", "", ""},
    {"markers of type 0, and a type above 10 without markers",
     "montagna, 1000, 2000, 266\nmontagna, 4000, 5000, -11\n", "",
     "montagna, 4000, 5000, -11"},
    {"a mountain on the last two cells after one on the cell before",
     "montagna, 16900, 20000, 1\nmontagna, 16000, 16960, 2\n", "", ""},
    {"speed boards at the limits of their values and on cell 0",
     "[cartelli]\nindicatori_vmax, 800, 1630, 0, 5, 3276, 495, 0, 0, 9\n"
     "indicatori_vmax, -50, -5, 10, 15, -1, 5, 10, 15, 1\n",
     "", "indicatori_vmax, -50, -5, 10, 15, -1, 5, 10, 15, 1"},
    {"signboard texts that need quotes, and an empty one",
     "[indicazioni]\ncartello indicatore, 1500, \"Km, 1.5\"\n"
     "cartello indicatore, 1600, \"  Ponte\"\ncartello indicatore, 1700,\n",
     "", "cartello indicatore, 1500, \"Km, 1.5\""},
    {"curves behind the cursor, of every class, and to the end of the plan",
     "[curve]\ncurvas3, 1000, 500\ncurvad3, 1200, 400\ncurvas1, 2000, 10\n"
     "curvad2, 2100, 10\ncurvas4, 2200, 10\ncurvad5, 2300, 10\ncurvas6, 2400, 10\n"
     "curvad6, 16900, 200\n",
     "", "curvad3, 1500, 100"},
    {"slow orders on a rounding tie, at 1501 m, of no length, backwards and "
     "with d_v 65536",
     "", "rallentamento, 3525, 30, 1000, 2, 1, 7\nrallentamento, 1501, 40, 500, 0, 1, 0\n"
         "rallentamento, 8000, 120, 0, 0, 0, 0\nrallentamento, 11000, 130, -500, 0, 0, 0\n"
         "rallentamento, 14000, 50, 500, 0, 1, 65536\n",
     "rallentamento, 3525, 30, 1025, 2, 1, 7"},
    {"signals by the first cells, with times raised and cut to a byte",
     "", "segnale, 100, 2, 4, 1, 0, 0, 2, 2, 1, 0, 50\n"
         "segnale, 250, 2, 4, 1, 0, 0, 0, 2, 1, 0, 300\n"
         "segnale, 300, 1, 4, 1, 0, 1, 0, 2, 1, 0, 0\n",
     "segnale, 250, 2, 4, 1, 0, 0, 0, 2, 1, 0, 300"},
    {"a signal written after a higher one, its approach codes over the other's",
     "", "segnale, 2000, 2, 4, 1, 0, 0, 2, 2, 1, 0, 0\n"
         "segnale, 1900, 1, 4, 1, 0, 0, 0, 2, 1, 0, 0\n",
     "segnale, 2000, 2, 4, 1, 0, 0, 2, 2, 1, 0, 0\r\nsegnale, 1900"},
    {"a station written after a signal whose approach codes it covers",
     "", "segnale, 1950, 2, 4, 1, 0, 0, 2, 2, 1, 0, 0\n"
         "stazione, 1800, 2, 400, 0, 0, 0, 1,1,0, 4,1,1, 60, 10,0,0, DOPO\n",
     "segnale, 1950, 2, 4, 1, 0, 0, 2, 2, 1, 0, 0\r\n\r\n[stazioni]"},
    {"abbattimento rows: 40000, 0, and 180 where the finishing pass marks",
     "", "rallentamento, 5000, 140, 500, 0, 0, 0\nabbattimento, 4750, 180\n"
         "abbattimento, 8000, 40000\nabbattimento, 9000, 0\n",
     "abbattimento, 8000, 40000"},
    {"stations of every extent rule, the first with its 50 m",
     "", "stazione, 0, 2, 400, 1, 7, 1, 4,0,0, 2,1,0, 1, 25,0,0, PRIMA\n"
         "stazione, 2000, 5, 600, 0, 0, 0, 1,1,0, 3,1,1, 60, -1,-2,-3, CINQUE\n"
         "stazione, 4000, 8, 800, 0, 3, 0, 1,1,0, 3,1,1, 60, 11,0,0, OTTO\n"
         "stazione, 6000, 28, 300, 0, 0, 0, 0,0,0, 0,0,0, 0, 0,0,0, SOLO SLOT\n"
         "stazione, 8000, 12, 700, 0, 9, 2, 1,1,0, 4,1,1, 60, 12,0,0, DODICI\n",
     "stazione, 0, 2, 400, 1, 0, 1,"},
};

TEST(Decompile, GivesBackEverySourceByteForByte) {
  for (const Case& c : kExact) {
    SCOPED_TRACE(c.what);
    const Decompiled r = decompiled(line_source(c.line_rows), train_source(c.train_rows));
    ASSERT_EQ(r.compiled.error_code, 0);
    EXPECT_TRUE(r.d.same_bytes) << notes_of(r.d);
    EXPECT_FALSE(r.d.has_doubts()) << notes_of(r.d);
    const std::string both = unaligned(r.d.line_source + r.d.train_source);
    EXPECT_NE(both.find(c.written), std::string::npos) << both;
  }
}

}  // namespace
}  // namespace scenc::tools
