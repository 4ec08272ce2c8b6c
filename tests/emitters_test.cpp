#include "scenario/emitters.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/track_model.h"
#include "output/output_directory.h"
#include "output/scenario_files.h"
#include "scenario/document_table.h"
#include "tests/child_process.h"
#include "tests/sha256.h"

namespace scenc {
namespace {

// --- The document table -----------------------------------------------------

std::string lines_of(std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += "riga\n";
  return text;
}

TEST(DocumentTable, AcceptsOnlyTextsThatFitBeforeTheEndMarker) {
  const struct {
    std::string text;
    bool fits;
  } cases[] = {
      {"", true},
      {"a\n\n  \n", true},
      {lines_of(1000), true},
      {lines_of(1001), false},
      {"a", false},      // last line unterminated
      {"a\r\n", false},  // CR LF is added on writing
      {"a\nriferimento fine del file\nb\n", false},  // would cut the document
      {"riferimento fine del file \n", true},  // the whole line must match
      {"il riferimento fine del file\n", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(document_text_fault(c.text) == nullptr, c.fits) << c.text;
  }
}

constexpr std::string_view kListing = "titolo\n\n  rientro e blanchi  \n \n";

TEST(DocumentTable, WritesEachLineAsStoredWithCrLf) {
  constexpr auto bytes = written_document<kListing>();
  EXPECT_EQ(std::string_view(bytes.data(), bytes.size()),
            "titolo\r\n\r\n  rientro e blanchi  \r\n \r\n");
}

// --- The five documents -----------------------------------------------------

using Emitter = void (*)(const Model&, OutputDirectory&);
using FileName = std::string (*)(const Model&);

struct Document {
  const char* what;
  Emitter emit;
  FileName file_name;
  std::size_t lines;
  std::optional<std::size_t> bytes;  // the notes' prose sets their size
  std::vector<std::size_t> empty_lines;
  // Line number -> blanks at its end, for every line that ends in a blank
  // (a blank-only line counts all its blanks).
  std::map<std::size_t, std::size_t> trailing_blanks;
  const char* sha256;  // nullptr where the prose is free
};

const std::vector<Document>& documents() {
  // clang-format off
  static const std::vector<Document> docs = {
      {"line source", dati_linea, ScenarioFileNames::line_source, 121, 3401,
       {2, 3, 36, 92, 112, 117},
       {{4, 2}, {5, 26}},
       "2642322715ef6c6bc394d40655c493f291e46ba6c7faf7118b0661bfcb01fe30"},
      {"train source", dati_treno, ScenarioFileNames::train_source, 113, 4883,
       {2, 32, 53, 58, 70, 77, 81, 87, 91, 99, 104, 107, 112},
       {{8, 1}},
       "0027b1554bc7a59e134b251aa5d839fca12b5f187ce073ad872b91b6f81cf592"},
      {"notes", dati_note, ScenarioFileNames::notes, 87, std::nullopt,
       {2, 46},
       {{17, 1}, {26, 1}, {31, 1}, {33, 1}, {35, 1}, {36, 1}, {43, 1},
        {45, 1}, {47, 1}, {50, 1}, {62, 1}, {66, 2}, {82, 3}, {83, 1}},
       nullptr},
      {"slow-order notice", dati_rallentamenti,
       ScenarioFileNames::slow_order_notice, 41, 2860, {1, 6, 35}, {},
       "70cb72e9c8dfdfb44083f0484a7f864a1c1a81010877a15b2dad71e349f7be0e"},
      {"timetable card", dati_scheda, ScenarioFileNames::timetable_card, 48,
       3749, {1, 12},
       {{2, 1}, {8, 1}, {9, 7}, {11, 2}, {25, 1}, {34, 1}, {36, 1}, {41, 1},
        {43, 1}, {44, 1}, {45, 2}, {46, 1}},
       "d50da0a2dbb7504bc9914fd26231d1b69dba815b0d6519cd4b7f0c76869f4964"},
  };
  // clang-format on
  return docs;
}

const Document& document_of(Emitter emit) {
  for (const Document& doc : documents()) {
    if (doc.emit == emit) return doc;
  }
  throw std::logic_error("no such document");
}

Model scenario(const std::string& line, const std::string& train) {
  Model m;
  m.line_name = line;
  m.train_number = train;
  return m;
}

// The one file an emitter writes, by name.
std::pair<std::string, std::string> emitted(const Document& doc,
                                            const Model& model) {
  MemoryDirectory dir;
  doc.emit(model, dir);
  EXPECT_EQ(dir.files.size(), 1u) << doc.what;
  if (dir.files.empty()) return {};
  return *dir.files.begin();
}

// Splits a file at CR LF; any other CR or LF stays inside a line.
std::vector<std::string> crlf_lines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos;
       start = end + 2) {
    lines.push_back(bytes.substr(start, end - start));
  }
  EXPECT_EQ(start, bytes.size()) << "bytes after the last CR LF";
  return lines;
}

std::size_t blanks_at_end(const std::string& line) {
  const std::size_t last = line.find_last_not_of(' ');
  return last == std::string::npos ? line.size() : line.size() - last - 1;
}

TEST(Documents, HaveTheirExactLinesBlanksAndBytes) {
  const Model model = scenario("Firenze_Pisa", "11711");
  for (const Document& doc : documents()) {
    SCOPED_TRACE(doc.what);
    const auto [name, bytes] = emitted(doc, model);
    EXPECT_EQ(name, doc.file_name(model));
    if (doc.bytes) {
      EXPECT_EQ(bytes.size(), *doc.bytes);
    }
    if (doc.sha256) {
      EXPECT_EQ(testing::sha256_hex(bytes), doc.sha256);
    }
    EXPECT_EQ(bytes.find(kEndMarker), std::string::npos);

    const std::vector<std::string> lines = crlf_lines(bytes);
    ASSERT_EQ(lines.size(), doc.lines);
    std::vector<std::size_t> empty;
    for (std::size_t n = 1; n <= lines.size(); ++n) {
      const std::string& line = lines[n - 1];
      EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "line " << n;
      if (line.empty()) empty.push_back(n);
      const auto listed = doc.trailing_blanks.find(n);
      EXPECT_EQ(blanks_at_end(line),
                listed == doc.trailing_blanks.end() ? 0 : listed->second)
          << "line " << n << ": \"" << line << "\"";
    }
    EXPECT_EQ(empty, doc.empty_lines);
  }
}

TEST(Documents, OnlyLine50OfTheNotesHasAByteAboveAscii) {
  const Model model = scenario("Firenze_Pisa", "11711");
  for (const Document& doc : documents()) {
    SCOPED_TRACE(doc.what);
    const std::string bytes = emitted(doc, model).second;
    std::vector<std::size_t> high;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (static_cast<unsigned char>(bytes[i]) > 0x7F) high.push_back(i);
    }
    if (doc.emit != dati_note) {
      EXPECT_TRUE(high.empty());
      continue;
    }
    ASSERT_EQ(high.size(), 1u);
    const std::vector<std::string> lines = crlf_lines(bytes);
    EXPECT_EQ(lines[49],
              "   partenza; pu\xF2 darsi che questo accada, perche` in questa "
              "stazione sono previsti 0.5 ");
  }
}

TEST(Documents, OtherScenarioNamesChangeTheFileNamesOnly) {
  const Model ours = scenario("Firenze_Pisa", "11711");
  const Model other = scenario("Roma_Napoli", "42");
  for (const Document& doc : documents()) {
    SCOPED_TRACE(doc.what);
    const auto [our_name, our_bytes] = emitted(doc, ours);
    const auto [other_name, other_bytes] = emitted(doc, other);
    EXPECT_EQ(other_name, doc.file_name(other));
    EXPECT_NE(other_name, our_name);
    EXPECT_EQ(other_bytes, our_bytes);
  }
}

TEST(Documents, EmbeddedSourcesAreTheBytesTheEmittersWrite) {
  const Model model = scenario("Firenze_Pisa", "11711");
  MemoryDirectory dir;
  dati_linea(model, dir);
  dati_treno(model, dir);
  EXPECT_EQ(embedded_line_source(), dir.files.at("Firenze_Pisa_linea.txt"));
  EXPECT_EQ(embedded_train_source(), dir.files.at("Firenze_Pisa_11711-.txt"));
}

// The lines of the notes that are given word for word.
TEST(Notes, KeepTheirGivenLines) {
  // clang-format off
  const std::map<std::size_t, std::string> given = {
      {1, "                Treno 11711 sul percorso Firenze S.M.N.  Pisa C.le"},
      {3, " Alcune precisazioni su questo percorso:"},
      {5, " - Il documento 'Scheda Treno', in estensione a tutte le linee FS, su questa"},
      {7, " - Il simulatore considera che il peso delle vetture sia sempre 50 t, pertanto"},
      {16, " - L'impostazione dell'orario prevede che la locomotiva di questo treno sia"},
      {17, "   un 646. "},
      {19, "   il manuale per sapere come sono assegnati i punti (capitoli"},
      {20, "   'Visualizza stress_viaggiatori' e 'Visualizza stress_locomotiva'),"},
      {22, " - Scheda treno."},
      {27, "  _________________________________________________________________________________"},
      {28, " | Vel.| Vel.| Progr Km  |  No | Localita'  Servizio      |  Orario         |  Rec |"},
      {29, " | Lim.|Marc.|           |  Rs |                          |                 |      |"},
      {30, " |_____|_____|___________|_____|__________________________|_________________|______|"},
      {31, " |  30 |     |        0  |  30 | FIRENZE S.M.N.           |           10.50 |      | "},
      {32, " | 115 |     |     0.600 | 115 | Deviatoio di uscita      |      10.51      |      |"},
      {83, "   p.s. "},
  };
  // clang-format on
  const Model model = scenario("Firenze_Pisa", "11711");
  const auto notes = crlf_lines(emitted(document_of(dati_note), model).second);
  const auto card = crlf_lines(emitted(document_of(dati_scheda), model).second);
  ASSERT_EQ(notes.size(), 87u);
  ASSERT_EQ(card.size(), 48u);
  for (const auto& [n, text] : given) EXPECT_EQ(notes[n - 1], text) << n;

  // Rows 3 and 4 of the card (the second with a blank after it), and rows
  // 5 to 7 indented by two more blanks.
  EXPECT_EQ(notes[43], card[18]);
  EXPECT_EQ(notes[44], card[19] + " ");
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(notes[62 + i], "  " + card[20 + i]) << 63 + i;
  }
}

// --- The build run ----------------------------------------------------------

// Runs a copy of the scenario program from its own directory, started from
// another working directory, over documents left by an earlier run.
TEST(BuildRun, LeavesTheThreeDocumentsInTheProgramDirectory) {
  namespace fs = std::filesystem;
  const testing::TemporaryDirectory temp("scenario-run");
  const fs::path& dir = temp.path();
  ASSERT_FALSE(dir.empty());
  fs::copy_file(fs::path(SCENARIO_BIN_DIR) / "scenario", dir / "scenario");

  const Model model = scenario("Firenze_Pisa", "11711");
  std::map<std::string, std::string> expected;
  for (const Document& doc : documents()) {
    if (doc.emit == dati_linea || doc.emit == dati_treno) continue;
    const auto [name, bytes] = emitted(doc, model);
    expected[name] = bytes;
    // Longer than the document and holding the end marker, so that an
    // append or a partial overwrite would show.
    std::ofstream(dir / name, std::ios::binary)
        << std::string(8000, 'x') << "\r\n"
        << kEndMarker << "\r\n";
  }

  const std::string command =
      "cd / && '" + (dir / "scenario").string() + "' >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));

  for (const auto& [name, bytes] : expected) {
    EXPECT_EQ(testing::read_file(dir / name), bytes) << name;
  }
}

}  // namespace
}  // namespace scenc
