// What an author installs into an editor: the syntax grammar, whose keyword
// patterns must say what the compiler's keyword tables say, and the Neovim
// configuration, run in a real headless Neovim against `scenarioc lsp`.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "child_process.h"
#include "compiler/keywords.h"
#include "output/output_directory.h"
#include "output/scenario_files.h"
#include "scenario/build_run.h"

namespace scenc {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::ChildProcess;
using testing::find_on_path;
using testing::read_file;

const fs::path kEditors = fs::path(SCENARIO_SOURCE_DIR) / "editors";

// ---- The grammar ----------------------------------------------------------

std::string regex_escaped(std::string_view word) {
  std::string out;
  for (const char c : word) {
    if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) {
      out += '\\';
    }
    out += c;
  }
  return out;
}

// The pattern of a keyword row: the first field of a line holds its word
// and its second word, in any case unless the row's case matters.
std::string keyword_pattern(const Keyword& k) {
  const auto word = [&](std::string_view w) {
    const std::string escaped = regex_escaped(w);
    return k.case_rule == CaseRule::kExactCase ? escaped
                                               : "(?i:" + escaped + ")";
  };
  std::string p = "^\\s*(?=[^,\\r\\n]*" + word(k.word) + ")";
  if (!k.also.empty()) p += "(?=[^,\\r\\n]*" + word(k.also) + ")";
  return p + "([^,\\r\\n]*)";
}

json grammar() {
  return json::parse(read_file(kEditors / "scenario-sources.tmLanguage.json"));
}

TEST(EditorGrammar, HasAPatternForEveryKeywordRowInTheTables) {
  const json g = grammar();
  EXPECT_EQ(g["scopeName"], "source.scenario");
  std::vector<std::pair<std::string, std::string>> expected;
  for (const auto table : kKeywordTables) {
    for (const Keyword& k : table) {
      expected.emplace_back(std::string(k.row), keyword_pattern(k));
    }
  }
  std::vector<std::pair<std::string, std::string>> written;
  for (const json& p : g["repository"]["keywords"]["patterns"]) {
    written.emplace_back(p.value("comment", ""), p.value("match", ""));
  }
  EXPECT_EQ(written, expected)
      << "regenerate the keyword patterns of the grammar from the tables";
  for (const char* part : {"comment", "header", "keywords", "quoted", "number"}) {
    EXPECT_TRUE(g["repository"].contains(part)) << part;
  }
}

TEST(EditorSetups, RecogniseTheSourcesByTheirNames) {
  const std::string line = "*" + std::string(file_ending::kLineSource);
  const std::string train = "*" + std::string(file_ending::kTrainSource);
  const json vscode = json::parse(read_file(kEditors / "vscode/package.json"));
  const json& contributes = vscode["contributes"];
  EXPECT_EQ(contributes["languages"][0]["filenamePatterns"],
            json::array({line, train}));
  EXPECT_EQ(contributes["grammars"][0]["scopeName"], grammar()["scopeName"]);
  EXPECT_EQ(contributes["grammars"][0]["path"],
            "./scenario-sources.tmLanguage.json");
  const std::string neovim = read_file(kEditors / "neovim/scenario.lua");
  for (const std::string& pattern : {line, train}) {
    EXPECT_NE(neovim.find("'" + pattern + "'"), std::string::npos) << pattern;
  }
}

// ---- Neovim ---------------------------------------------------------------

// An editor's home of its own in `home`, where the views of cells go too,
// and where the scripts find the set-ups and the program.
testing::EnvironmentChanges home_environment(const fs::path& home) {
  return {{"HOME", home.string()},
          {"XDG_CONFIG_HOME", (home / "config").string()},
          {"XDG_DATA_HOME", (home / "data").string()},
          {"XDG_STATE_HOME", (home / "state").string()},
          {"XDG_CACHE_HOME", (home / "cache").string()},
          {"XDG_RUNTIME_DIR", home.string()},
          {"SCENARIO_SOURCE_DIR", SCENARIO_SOURCE_DIR},
          {"SCENARIOC", std::string(SCENARIO_BIN_DIR) + "/scenarioc"}};
}

TEST(Neovim, ShowsTheDiagnosticTheServerSent) {
  const std::string nvim = find_on_path("nvim");
  if (nvim.empty()) GTEST_SKIP() << "Neovim is not installed";
  const testing::TemporaryDirectory home("scenarioc-nvim");
  ASSERT_FALSE(home.path().empty());

  Model model;
  set_embedded_identity(model);
  MemoryDirectory sources;
  write_scenario_texts(model, sources);
  const std::string line_name = ScenarioFileNames::line_source(model);
  const std::string train_name = ScenarioFileNames::train_source(model);
  // A signal on the cell of the one before it, its keyword field holding a
  // degree sign: one byte on disk, two in Neovim's buffer, one UTF-16 unit.
  std::string train = sources.files.at(train_name);
  const std::string row = "segnale,   2100";
  const std::size_t at = train.find(row);
  ASSERT_NE(at, std::string::npos);
  train.replace(at, row.size(), "segnale\xB0,   1000");
  int line = 0;
  for (std::size_t i = 0; i < at; ++i) line += train[i] == '\n';
  std::ofstream(home.path() / line_name, std::ios::binary)
      << sources.files.at(line_name);
  std::ofstream(home.path() / train_name, std::ios::binary) << train;

  const fs::path out = home.path() / "diagnostics.json";
  auto env = home_environment(home.path());
  env["SCENARIO_NVIM_OUT"] = out.string();
  ChildProcess editor(
      {nvim, "--headless", "-n", "-i", "NONE", "-u",
       std::string(SCENARIO_SOURCE_DIR) + "/tests/nvim_diagnostics.lua",
       train_name},
      {.environment = env, .working_directory = home.path()});
  ASSERT_TRUE(editor.started());
  ASSERT_EQ(editor.wait_for_exit(std::chrono::seconds(60)), 0)
      << editor.stderr_text();
  const std::string written = read_file(out);
  if (written.starts_with("skip:")) GTEST_SKIP() << written;
  const json result = json::parse(written);
  EXPECT_EQ(result["filetype"], "scenario_train");
  EXPECT_EQ(result["fileencoding"], "cp1252");
  ASSERT_EQ(result["arrived"], true) << written;
  ASSERT_EQ(result["diagnostics"].size(), 1u) << written;
  const json& d = result["diagnostics"][0];
  EXPECT_EQ(d["code"], "fault-16");
  EXPECT_EQ(d["source"], "scenarioc");
  EXPECT_EQ(d["severity"], 1);
  EXPECT_EQ(d["lnum"], line);
  // Neovim counts bytes of its UTF-8 buffer: "1000" begins after
  // "segnale°,   ", 13 bytes.
  EXPECT_EQ(d["col"], 13);
  EXPECT_EQ(d["end_col"], 17);
  // The editor wrote nothing.
  EXPECT_EQ(read_file(home.path() / train_name), train);
}

// ---- Editing in both editors ------------------------------------------------

// The embedded sources in a directory, the train source with a typo in a
// station's keyword (its quick fix writes "stazione") and a signal moved in
// by blanks (formatting lays it out again).
struct EditedSources {
  std::string train_name;
  std::string train;
  int typo_line = 0;  // 1-based
};

EditedSources write_edited_sources(const fs::path& dir) {
  Model model;
  set_embedded_identity(model);
  MemoryDirectory sources;
  write_scenario_texts(model, sources);
  EditedSources e;
  const std::string line_name = ScenarioFileNames::line_source(model);
  e.train_name = ScenarioFileNames::train_source(model);
  e.train = sources.files.at(e.train_name);
  const std::size_t at = e.train.find("Stazione,   2750");
  e.train.replace(at, 8, "stazoine");
  e.train.replace(e.train.find("segnale,   4600"), 0, "   ");
  e.typo_line = 1;
  for (std::size_t i = 0; i < at; ++i) e.typo_line += e.train[i] == '\n';
  std::ofstream(dir / line_name, std::ios::binary)
      << sources.files.at(line_name);
  std::ofstream(dir / e.train_name, std::ios::binary) << e.train;
  return e;
}

testing::EnvironmentChanges editor_environment(
    const fs::path& home, const EditedSources& e) {
  auto env = home_environment(home);
  env["SCENARIO_CODE"] = "unknown-keyword";
  env["SCENARIO_LINE"] = std::to_string(e.typo_line);
  env["SCENARIO_FILE"] = (home / e.train_name).string();
  env["SCENARIO_SLOW_ORDER"] = "rallentamento";
  return env;
}

// What an editor left in its buffer and showed: the typo mended, the
// signal laid out, the hints of the mended station's line shown, and the
// view of the slow order's cells opened on its start cell.
void expect_what_an_author_sees(const json& result, const fs::path& home) {
  EXPECT_EQ(result["seen"], true) << result;
  EXPECT_EQ(result["mended"], true) << result;
  const std::string text = result["text"];
  EXPECT_NE(text.find("stazione,   2750"), std::string::npos) << text;
  EXPECT_EQ(text.find("   segnale"), std::string::npos) << text;
  EXPECT_NE(text.find("\nsegnale,  4600,"), std::string::npos) << text;
  EXPECT_GT(result["hints"], 50) << result;
  std::string hint = result["hint"];
  hint.erase(0, hint.find_first_not_of(' '));
  EXPECT_EQ(hint, "cell 56 \u00b7 km 2.750 \u00b7 slot 2") << result;
  const json& view = result["view"];
  ASSERT_TRUE(view.is_object()) << result;
  const std::string name = view["name"];
  EXPECT_TRUE(name.starts_with((home / "scenarioc-lsp").string())) << name;
  EXPECT_TRUE(name.ends_with(".cells")) << name;
  const std::string line = view["line"];
  EXPECT_TRUE(line.starts_with("*  187 ")) << line;
  EXPECT_NE(line.find("slow-order start"), std::string::npos) << line;
  EXPECT_EQ(view["readonly"], true) << result;
}

TEST(Neovim, MendsFormatsShowsHintsAndJumpsToCells) {
  const std::string nvim = find_on_path("nvim");
  if (nvim.empty()) GTEST_SKIP() << "Neovim is not installed";
  const testing::TemporaryDirectory home("scenarioc-nvim");
  ASSERT_FALSE(home.path().empty());
  const EditedSources e = write_edited_sources(home.path());
  const fs::path out = home.path() / "editing.json";
  auto env = editor_environment(home.path(), e);
  env["SCENARIO_NVIM_OUT"] = out.string();
  ChildProcess editor(
      {nvim, "--headless", "-n", "-i", "NONE", "-u",
       std::string(SCENARIO_SOURCE_DIR) + "/tests/nvim_editing.lua",
       e.train_name},
      {.environment = env, .working_directory = home.path()});
  ASSERT_TRUE(editor.started());
  ASSERT_EQ(editor.wait_for_exit(std::chrono::seconds(90)), 0)
      << editor.stderr_text();
  const std::string written = read_file(out);
  if (written.starts_with("skip:")) GTEST_SKIP() << written;
  const json result = json::parse(written);
  expect_what_an_author_sees(result, home.path());
  EXPECT_EQ(read_file(home.path() / e.train_name), e.train);
}

TEST(Emacs, MendsFormatsShowsHintsAndJumpsToCells) {
  const std::string emacs = find_on_path("emacs");
  if (emacs.empty()) GTEST_SKIP() << "Emacs is not installed";
  const testing::TemporaryDirectory home("scenarioc-emacs");
  ASSERT_FALSE(home.path().empty());
  const EditedSources e = write_edited_sources(home.path());
  const fs::path out = home.path() / "editing.json";
  auto env = editor_environment(home.path(), e);
  env["SCENARIO_EMACS_OUT"] = out.string();
  ChildProcess editor(
      {emacs, "--batch", "-q", "-l",
       std::string(SCENARIO_SOURCE_DIR) + "/tests/emacs_eglot.el"},
      {.environment = env, .working_directory = home.path()});
  ASSERT_TRUE(editor.started());
  ASSERT_EQ(editor.wait_for_exit(std::chrono::seconds(90)), 0)
      << editor.stderr_text();
  const json result = json::parse(read_file(out));
  ASSERT_FALSE(result.contains("error")) << result;
  EXPECT_EQ(result["mode"], "scenario-train-mode");
  EXPECT_EQ(result["coding"], "windows-1252-dos");
  expect_what_an_author_sees(result, home.path());
  EXPECT_EQ(read_file(home.path() / e.train_name), e.train);
}

}  // namespace
}  // namespace scenc
