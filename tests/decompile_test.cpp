// What the decompile gives back from the files of sources written to reach
// its harder cases: the fills past the last position, mountains that join,
// overlap and carry markers out of step, curves behind the cursor and at
// the end of the plan, slow orders on rounding ties, signals whose approach
// codes ask for another order, abbattimento rows where the finishing pass
// marks too. Each compiles without a fault and must come back byte for
// byte. Then what it cannot give back, each said with its record and
// offset.
#include "tools/decompile/decompile.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "output/scenario_files.h"
#include "output/scenario_reader.h"

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
  return crlf("Prova\n[generale]\nlunghezza percorso, " +
              std::to_string(length) +
              "\nripetizione segnali 4 codici, 4650, 9000\n[pendenze]\n" +
              rows + "[fine]\n");
}
std::string train_source(const std::string& rows) {
  return crlf(
      "Treno\n[generale]\nnumero vetture, 6\naderenza, 0, 100\n"
      "velocita' limite, 0, 100\n" +
      rows + "[fine]\n");
}

struct Decompiled {
  CompiledInMemory compiled;
  DecompiledScenario d;
};

Decompiled decompiled(const std::string& line, const std::string& train,
                      std::int32_t geometry = 1,
                      const std::string& name = "Prova") {
  Decompiled out;
  out.compiled = compile_in_memory(line, train, name, "7", geometry);
  out.d = decompile(decode_scenario(out.compiled.files), out.compiled.files);
  return out;
}

// Rows with their columns' blanks taken out: "pendenza, 300, 4".
std::string unaligned(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' && !out.empty() && (out.back() == ' ' || out.back() == ','))
      continue;
    if (c == ',' && !out.empty() && out.back() == ' ') out.pop_back();
    out += c;
    if (c == ',') out += ' ';
  }
  return out;
}

std::string notes_of(const DecompiledScenario& d) {
  std::string text;
  for (const DecompileNote& n : d.notes)
    text += "\n  " + n.record + ": " + n.message;
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
    {"a gradient from before the first cell",
     "pendenza, 10, 155\npendenza, 4000, -100\n", "", "pendenza, 0, 155"},
    {"speed and adhesion rows at the last position", "",
     "velocita' limite, 16900, 60\nvelocita' limite, 16900, 70\n"
     "aderenza, 16900, 5\naderenza, 16900, 6\naderenza, 16900, 7\n",
     "velocita' limite, 16900, 70"},
    {"mountains 200 m apart keep their types",
     "montagna, 1000, 2000, 2\nmontagna, 2200, 3000, 1\n", "",
     "montagna, 2200, 3000, 1"},
    {"a mountain 150 m after the one before becomes type 3",
     "montagna, 1000, 2000, 2\nmontagna, 2150, 3000, 1\n", "",
     "montagna, 2150, 3000, 3"},
    {"a mountain that starts 200 m after the one before on the same cells",
     "montagna, 1000, 2000, 2\nmontagna, 2201, 3000, 1\n", "", ""},
    {"overlapping mountains whose stretches touch, with their own types",
     "montagna, 5000, 8000, 1\nmontagna, 1000, 1500, 1\nmontagna, 1700, 6000, "
     "2\n",
     "", "montagna, 1700, 6000, 2"},
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
     "curvad2, 2100, 10\ncurvas4, 2200, 10\ncurvad5, 2300, 10\ncurvas6, 2400, "
     "10\n"
     "curvad6, 16900, 200\n",
     "", "curvad3, 1500, 100"},
    {"slow orders on a rounding tie, at 1501 m, of no length, backwards and "
     "with d_v 65536",
     "",
     "rallentamento, 3525, 30, 1000, 2, 1, 7\nrallentamento, 1501, 40, 500, 0, "
     "1, 0\n"
     "rallentamento, 8000, 120, 0, 0, 0, 0\nrallentamento, 11000, 130, -500, "
     "0, 0, 0\n"
     "rallentamento, 14000, 50, 500, 0, 1, 65536\n",
     "rallentamento, 3525, 30, 1025, 2, 1, 7"},
    {"signals by the first cells, with times raised and cut to a byte", "",
     "segnale, 100, 2, 4, 1, 0, 0, 2, 2, 1, 0, 50\n"
     "segnale, 250, 2, 4, 1, 0, 0, 0, 2, 1, 0, 300\n"
     "segnale, 300, 1, 4, 1, 0, 1, 0, 2, 1, 0, 0\n",
     "segnale, 250, 2, 4, 1, 0, 0, 0, 2, 1, 0, 300"},
    {"a signal on cell 1, whose first two values the stamps take", "",
     "segnale, 0, 1, 0, 0, 1, 0, 0, 0, 0, 1, 0\n",
     "segnale, 0, 1, 0, 0, 1, 0, 0, 0, 0, 1, 0"},
    {"a signal written after a higher one, its approach codes over the other's",
     "",
     "segnale, 2000, 2, 4, 1, 0, 0, 2, 2, 1, 0, 0\n"
     "segnale, 1900, 1, 4, 1, 0, 0, 0, 2, 1, 0, 0\n",
     "segnale, 2000, 2, 4, 1, 0, 0, 2, 2, 1, 0, 0\r\nsegnale, 1900"},
    {"a station written after a signal whose approach codes it covers", "",
     "segnale, 1950, 2, 4, 1, 0, 0, 2, 2, 1, 0, 0\n"
     "stazione, 1800, 2, 400, 0, 0, 0, 1,1,0, 4,1,1, 60, 10,0,0, DOPO\n",
     "segnale, 1950, 2, 4, 1, 0, 0, 2, 2, 1, 0, 0\r\n\r\n[stazioni]"},
    {"abbattimento rows: 40000, 0, and 180 where the finishing pass marks", "",
     "rallentamento, 5000, 140, 500, 0, 0, 0\nabbattimento, 4750, 180\n"
     "abbattimento, 8000, 40000\nabbattimento, 9000, 0\n",
     "abbattimento, 8000, 40000"},
    {"stations of every extent rule, the first with its 50 m", "",
     "stazione, 0, 2, 400, 1, 7, 1, 4,0,0, 2,1,0, 1, 25,0,0, PRIMA\n"
     "stazione, 2000, 5, 600, 0, 0, 0, 1,1,0, 3,1,1, 60, -1,-2,-3, CINQUE\n"
     "stazione, 4000, 8, 800, 0, 3, 0, 1,1,0, 3,1,1, 60, 11,0,0, OTTO\n"
     "stazione, 6000, 28, 300, 0, 0, 0, 0,0,0, 0,0,0, 0, 0,0,0, SOLO SLOT\n"
     "stazione, 8000, 12, 700, 0, 9, 2, 1,1,0, 4,1,1, 60, 12,0,0, DODICI\n",
     "stazione, 0, 2, 400, 1, 0, 1,"},
};

TEST(Decompile, GivesBackEverySourceByteForByte) {
  for (const Case& c : kExact) {
    SCOPED_TRACE(c.what);
    const Decompiled r =
        decompiled(line_source(c.line_rows), train_source(c.train_rows));
    ASSERT_EQ(r.compiled.error_code, 0);
    EXPECT_TRUE(r.d.same_bytes) << notes_of(r.d);
    EXPECT_FALSE(r.d.has_doubts()) << notes_of(r.d);
    const std::string both = unaligned(r.d.line_source + r.d.train_source);
    EXPECT_NE(both.find(c.written), std::string::npos) << both;
  }
}

// ---- Objects a station's marker stands over ------------------------------

// A station marker takes the cell of what stood there before and keeps
// what it does not write: the decompile writes an object that leaves those
// values and says it had to guess.
TEST(Decompile, WritesWhatAStationMarkerStandsOverAndSaysItGuessed) {
  const struct {
    const char* what;
    const char* line_rows;
    const char* train_rows;
    const char* written;
  } cases[] = {
      {"a speed board",
       "[cartelli]\nindicatori_vmax, 2100, 100, 110, 120, 1, 0, 5, 10, 2\n",
       "stazione, 2000, 2, 400, 0, 0, 0, 1,1,0, 4,1,1, 60, 10,0,0, SOPRA\n",
       "indicatori_vmax, 2100, 0, 110, 120, 1, 0, 5, 10, 2"},
      {"a signboard", "[indicazioni]\ncartello indicatore, 2100, Km 2\n",
       "stazione, 2000, 2, 400, 0, 0, 0, 1,1,0, 4,1,1, 60, 10,0,0, SOPRA\n",
       "cartello indicatore, 2100, Km 2"},
      {"a signal with a time", "",
       "segnale, 2100, 2, 4, 1, 0, 0, 2, 2, 1, 0, 250\n"
       "stazione, 2000, 2, 400, 0, 0, 0, 1,1,0, 4,1,1, 60, 10,0,0, SOPRA\n",
       "segnale, 2100, 2, 0, 1, 0, 0, 2, 0, 1, 0, 250"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Decompiled r =
        decompiled(line_source(c.line_rows), train_source(c.train_rows));
    ASSERT_EQ(r.compiled.error_code, 0);
    EXPECT_TRUE(r.d.same_bytes) << notes_of(r.d);
    EXPECT_TRUE(r.d.has_doubts());
    bool on_the_marker = false;
    for (const DecompileNote& n : r.d.notes) {
      on_the_marker = on_the_marker ||
                      (n.record == "cell 43" && n.offset == 43 * 15) ||
                      (n.record == "slot 80" && n.file == FileKind::kSlots);
    }
    EXPECT_TRUE(on_the_marker) << notes_of(r.d);
    EXPECT_NE(unaligned(r.d.line_source + r.d.train_source).find(c.written),
              std::string::npos);
  }
}

// ---- Files no source compiles to -----------------------------------------

// The files of a small scenario, decoded, changed by `change` and encoded
// again, then decompiled.
DecompiledScenario decompiled_after(
    const std::function<void(Model&, std::string& geometry)>& change) {
  const Decompiled base = decompiled(
      line_source("[curve]\ncurvas3, 1000, 500\n[indicazioni]\ncartello "
                  "indicatore, 3000, Km 3\n"),
      train_source(
          "stazione, 500, 8, 400, 0, 0, 0, 4,0,0, 2,1,0, 1, 10,50,0, PRIMA\n"
          "rallentamento, 6000, 60, 500, 0, 1, 0\nsegnale, 8000, 1, 4, 1, 0, "
          "0, 0, 0, 0, 0, 0\n"));
  EXPECT_TRUE(base.d.same_bytes);
  ScenarioBytes files = base.compiled.files;
  Model m;
  EXPECT_FALSE(read_slot_file(files.slots, m.scenario_slots));
  EXPECT_FALSE(read_cell_file(files.cells, m.track_cells));
  change(m, *files.geometry);
  const auto encode = [](auto write) {
    StringSink sink;
    ByteWriter out(sink);
    write(out);
    out.flush();
    return sink.bytes;
  };
  files.slots = encode([&](ByteWriter& w) { write_slot_file(m, w); });
  files.cells = encode([&](ByteWriter& w) { write_cell_file(m, w); });
  return decompile(decode_scenario(files), files);
}

// Byte `at` of the x of metre m of a plan whose metres 0 and 1 are whole
// numbers: the first byte of the double.
std::size_t x_of_metre(std::int64_t m) {
  return 2 * 4 + static_cast<std::size_t>(m - 2) * 10 + 2;
}

TEST(Decompile, NamesEachRecordNoSourceGivesWithItsOffset) {
  const struct {
    const char* what;
    std::function<void(Model&, std::string&)> change;
    FileKind file;
    std::string record;
    DecompileNote::Severity severity;
    std::string says;
  } cases[] = {
      {"a kind no row places",
       [](Model& m, std::string&) { m.track_cells[100].kind = 7; },
       FileKind::kCells, "cell 100", DecompileNote::Severity::kWarning,
       "holds a kind 7"},
      {"a value no row leaves on a slow order's start",
       [](Model& m, std::string&) { m.track_cells[121].value4 = 3; },
       FileKind::kCells, "cell 121", DecompileNote::Severity::kError,
       "value4 3 against 0"},
      {"a signal on the last cell",
       [](Model& m, std::string&) {
         m.track_cells[340].kind = cell_kind::kSignal;
       },
       FileKind::kCells, "cell 340", DecompileNote::Severity::kWarning,
       "beyond every position"},
      {"a point of the plan that no curve class draws",
       [](Model&, std::string& g) { g[x_of_metre(5000)] ^= 1; },
       FileKind::kGeometry, "metre 5000 (x)", DecompileNote::Severity::kWarning,
       "no curve class draws"},
      {"a name in slot 0, which no build fills",
       [](Model& m, std::string&) { m.scenario_slots[0].name = "X"; },
       FileKind::kSlots, "slot 0", DecompileNote::Severity::kError,
       "name \"X\" against \"\""},
      {"a signboard text no field reads back",
       [](Model& m, std::string&) { m.scenario_slots[80].name = "\"Km\", 3"; },
       FileKind::kSlots, "slot 80", DecompileNote::Severity::kWarning,
       "double quote"},
      {"a station whose extent no row gives",
       [](Model& m, std::string&) { m.scenario_slots[1].num1 = 123; },
       FileKind::kSlots, "slot 1", DecompileNote::Severity::kWarning, "extent"},
      {"a line name no file name carries",
       [](Model& m, std::string&) { m.scenario_slots[kLineSlot].name = "a/b"; },
       FileKind::kSlots, "slot 85", DecompileNote::Severity::kWarning, "'/'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const DecompiledScenario d = decompiled_after(c.change);
    EXPECT_FALSE(d.same_bytes);
    const DecompileNote* found = nullptr;
    for (const DecompileNote& n : d.notes) {
      if (n.file == c.file && n.record == c.record &&
          n.severity == c.severity &&
          n.message.find(c.says) != std::string::npos && !found) {
        found = &n;
      }
    }
    ASSERT_NE(found, nullptr) << notes_of(d);
    if (c.file == FileKind::kCells) {
      EXPECT_EQ(found->offset, std::stoul(c.record.substr(5)) * 15);
    } else if (c.file == FileKind::kGeometry) {
      EXPECT_EQ(found->offset, x_of_metre(5000) - 2);
    } else if (c.record == "slot 0") {
      EXPECT_EQ(found->offset, 0u);
    }
  }
}

// A length no compile accepts leaves nothing to give back.
TEST(Decompile, RefusesALineLengthNoCompileAccepts) {
  Decompiled r = decompiled(line_source(""), train_source(""));
  SlotTable slots;
  ASSERT_FALSE(read_slot_file(r.compiled.files.slots, slots));
  Model m;
  m.scenario_slots = slots;
  m.scenario_slots[kConsistSlot].num2 = -5;
  StringSink sink;
  ByteWriter out(sink);
  write_slot_file(m, out);
  out.flush();
  r.compiled.files.slots = sink.bytes;
  const ScenarioSet set = decode_scenario(r.compiled.files);
  EXPECT_THROW(decompile(set, r.compiled.files), ToolError);
}

}  // namespace
}  // namespace scenc::tools
