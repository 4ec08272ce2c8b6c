// scenarioc run as a process over small sources written to a fresh
// directory: exit statuses, diagnostics, the JSON report, the names of the
// files it writes, and the promise never to touch the author's sources.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "child_process.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using scenc::testing::ChildProcess;
using scenc::testing::EnvironmentChanges;
using scenc::testing::read_file;
constexpr std::chrono::seconds kPatience{60};

// A line of 1000 m (cells 0 to 160) and a train source, each with the rows
// given; with none, the smallest pair that compiles without a fault.
std::string line_source(const std::string& general = "",
                        const std::string& body = "") {
  return "[generale]\r\nlunghezza percorso, 1000\r\n" + general +
         "[pendenze]\r\n" + body + "[fine]\r\n";
}
std::string train_source(const std::string& rows = "") {
  return "treno di prova\r\n[generale]\r\n" + rows + "[fine]\r\n";
}
std::string station_at(int position) {
  return "stazione, " + std::to_string(position) +
         ", 2, 600, 0,0,0, 0,0,0, 0,0,0, 0, 10,0,0, A\r\n";
}

std::set<std::string> listing(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) {
    names.insert(e.path().filename().string());
  }
  return names;
}

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

class Scenarioc : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "scenarioc.XXXXXX");
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    work_ = root_ / "work";
    fs::create_directory(work_);
  }
  void TearDown() override { fs::remove_all(root_); }

  // Writes a source into the working directory and remembers its bytes.
  void source(const std::string& name, const std::string& text) {
    std::ofstream(work_ / name, std::ios::binary) << text;
    sources_.emplace_back(name, text);
  }

  // Runs scenarioc in the working directory.
  ToolRun run(const std::vector<std::string>& args,
              const EnvironmentChanges& environment = {}) {
    // env -C starts the tool in the working directory.
    std::vector<std::string> argv{"/usr/bin/env", "-C", work_.string(),
                                  std::string(SCENARIO_BIN_DIR) + "/scenarioc"};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess child(argv, {.environment = environment});
    ToolRun r;
    r.status = child.wait_for_exit(kPatience).value_or(-1);
    r.out = child.stdout_text();
    r.err = child.stderr_text();
    // Whatever happened, the author's sources are exactly as written.
    for (const auto& [name, text] : sources_) {
      EXPECT_EQ(read_file(work_ / name), text) << name << " changed";
    }
    return r;
  }

  fs::path root_;
  fs::path work_;
  std::vector<std::pair<std::string, std::string>> sources_;
};

// ---- Exit statuses --------------------------------------------------------

TEST_F(Scenarioc, ExitStatusTellsWhatHappened) {
  source("ok_linea.txt", line_source());
  source("ok_1-.txt", train_source());
  source("fault_1-.txt", train_source(station_at(2775)));  // off the 50 m grid
  source("long_linea.txt",  // too long to have track cells: the error exit
         "[generale]\r\nlunghezza percorso, 1000001\r\n[fine]\r\n");
  source("ok_7.dat", train_source());  // the name of the cell file for "7"
  fs::create_directory(work_ / "folder_1-.txt");
  std::ofstream(work_ / "a_file") << "x";

  const struct {
    std::vector<std::string> args;
    int status;
    bool writes_files;
    std::string says;  // on standard output or error
  } cases[] = {
      {{"compile", "ok_linea.txt", "ok_1-.txt"}, 0, true, ""},
      {{"compile", "ok_linea.txt", "fault_1-.txt"}, 1, true, "[fault-8]"},
      {{"compile", "long_linea.txt", "ok_1-.txt"}, 2, false, "Errore n. 1"},
      {{"compile", "missing_linea.txt", "ok_1-.txt"},
       3,
       false,
       "missing_linea.txt"},
      {{"compile", "ok_linea.txt", "folder_1-.txt"}, 3, false, "folder_1-.txt"},
      {{"compile", "ok_linea.txt", "ok_1-.txt", "-o", "a_file"},
       3,
       false,
       "a_file"},
      {{"check", "ok_linea.txt", "ok_1-.txt"}, 0, false, ""},
      {{"check", "ok_linea.txt", "fault_1-.txt"}, 1, false, "[fault-8]"},
      {{"check", "long_linea.txt", "ok_1-.txt"}, 2, false, "Errore n. 1"},
      {{"check", "ok_linea.txt", "missing_1-.txt"}, 3, false, "missing_1-.txt"},
      {{}, 64, false, ""},
      {{"compile", "ok_linea.txt"}, 64, false, "TRAIN_SOURCE"},
      {{"compile", "ok_linea.txt", "ok_1-.txt", "--bogus"},
       64,
       false,
       "--bogus"},
      {{"compile", "ok_linea.txt", "ok_1-.txt", "--line-name", "../up"},
       64,
       false,
       "/"},
      {{"compile", "ok_linea.txt", "ok_7.dat", "--train-number", "7"},
       64,
       false,
       "ok_7.dat"},
      {{"--help"}, 0, false, "Examples:"},
      {{"compile", "--help"}, 0, false, "--no-geometry"},
      {{"check", "--help"}, 0, false, "Examples:"},
      {{"sources", "--help"}, 0, false, "Examples:"},
      {{"--version"}, 0, false, "scenarioc"},
  };
  const std::set<std::string> before = listing(work_);
  for (const auto& c : cases) {
    std::string shown;
    for (const auto& a : c.args) shown += a + " ";
    SCOPED_TRACE(shown);
    const ToolRun r = run(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE((r.out + r.err).find(c.says), std::string::npos)
        << r.out << r.err;
    EXPECT_EQ(listing(work_) != before, c.writes_files);
    for (const auto& name : listing(work_)) {
      if (!before.count(name)) fs::remove_all(work_ / name);
    }
  }
}

// A usage error says in words what was meant, in a line or two.
TEST_F(Scenarioc, UsageErrorsSayWhatWasMeant) {
  source("ok_linea.txt", line_source());
  source("ok_1-.txt", train_source());
  fs::create_directory(work_ / "out");
  std::ofstream(work_ / "out" / "ok_1.sim") << "x";
  const struct {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{"comple", "ok_linea.txt", "ok_1-.txt"}, "did you mean 'compile'?"},
      {{"chek"}, "did you mean 'check'?"},
      {{"draw"}, "the subcommands are compile, check,"},
      {{"check", "ok_linea.txt", "ok_1-.txt", "--max-errors", "-1"},
       "'-1' is not a count of errors: a whole number from 0 (no limit) to "
       "999999999"},
      {{"plot", "a", "b", "c"},
       "takes one input (a scenario's directory or the beginning of its file "
       "names) or two (its line source and train source); not expected: c"},
      {{"dump", "out"},
       "out is a directory; dump decodes one file of a scenario: its cell, "
       "slot or line geometry file, such as out/ok_1.sim"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    const ToolRun r = run(c.args);
    EXPECT_EQ(r.status, 64);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_LT(r.err.size(), 300u) << r.err;
  }
}

// Each subcommand's help says what it does and no more.
TEST_F(Scenarioc, HelpSaysWhatEachSubcommandDoes) {
  const std::string check = run({"check", "--help"}).out;
  const std::string compile = run({"compile", "--help"}).out;
  EXPECT_EQ(check.find("written"), std::string::npos) << check;
  EXPECT_EQ(check.find("writ"), check.find("writing nothing")) << check;
  EXPECT_NE(compile.find("(the files are written all the same)"),
            std::string::npos);
  for (const std::string& help : {check, compile}) {
    EXPECT_NE(help.find("Columns count bytes of the source line in the text "
                        "and in JSON"),
              std::string::npos)
        << help;
  }
  const std::string plot = run({"plot", "--help"}).out;
  EXPECT_NE(plot.find("Usage: scenarioc plot [OPTIONS] INPUT [TRAIN_SOURCE]"),
            std::string::npos)
      << plot;
}

// Names and texts from a source or a path are shown with their control
// bytes escaped, never raw: a station name that would retitle the terminal,
// clear it or write the clipboard, a keyword holding an escape before the
// field the caret points at, a file name holding a line end.
TEST_F(Scenarioc, ControlBytesNeverReachTheTerminal) {
  const std::string hostile =
      "A\x1b]0;pwned\x07\x1b[2J\x1b]52;c;cHduZWQ=\x07\x9d";
  const std::string station =
      "stazione\x1b, 2775, 2, 600, 0,0,0, 0,0,0, 0,0,0, 0, 10,0,0, " + hostile +
      "\r\n";
  source("e_linea.txt", line_source());
  source("e_1-.txt", train_source(station));
  source("a\nb_linea.txt", line_source("", "pendenza, 9000, 2\r\n"));
  const auto raw = [](const std::string& text) {
    return text.find_first_of("\x07\x1b") != std::string::npos ||
           text.find("\xc2\x9d") != std::string::npos;
  };

  const ToolRun check = run({"check", "e_linea.txt", "e_1-.txt"});
  EXPECT_EQ(check.status, 1);
  EXPECT_FALSE(raw(check.err)) << check.err;
  // The row as the author wrote it, a byte the code page leaves undefined
  // shown as its C1 control, and the caret under the position, after the
  // escape the keyword holds.
  const std::string shown =
      "stazione\\x1b, 2775, 2, 600, 0,0,0, 0,0,0, 0,0,0, 0, 10,0,0, "
      "A\\x1b]0;pwned\\x07\\x1b[2J\\x1b]52;c;cHduZWQ=\\x07\\u009d";
  const std::size_t excerpt = check.err.find(" | " + shown + "\n");
  ASSERT_NE(excerpt, std::string::npos) << check.err;
  const std::size_t caret_line = check.err.find('\n', excerpt) + 1;
  EXPECT_EQ(
      check.err.find('^', caret_line) - caret_line,
      excerpt + 3 + shown.find("2775") - check.err.rfind('\n', excerpt) - 1)
      << check.err;

  const ToolRun path = run({"check", "a\nb_linea.txt", "e_1-.txt"});
  EXPECT_TRUE(path.err.starts_with("a\\nb_linea.txt:4:11: error: "))
      << path.err;

  source("d_linea.txt", line_source());
  source("d_1-.txt", train_source("stazione, 2750, 2, 600, 0,0,0, 0,0,0, "
                                  "0,0,0, 0, 10,0,0, " +
                                  hostile + "\r\n"));
  ASSERT_EQ(run({"compile", "d_linea.txt", "d_1-.txt", "-o", "out"}).status, 0);
  const ToolRun dump = run({"dump", "out/d_1.sim"});
  EXPECT_EQ(dump.status, 0);
  EXPECT_FALSE(raw(dump.out)) << dump.out;
  EXPECT_NE(dump.out.find("A\\x1b]0;pwned\\x07\\x1b[2J"), std::string::npos)
      << dump.out;
}

// ---- Diagnostics ----------------------------------------------------------

struct Expected {
  int code;
  char source;  // 'L' line source, 'T' train source
  int line;
  int column;
  std::optional<int> position;
};

TEST_F(Scenarioc, EveryFaultPointsAtItsRow) {
  const struct {
    const char* what;
    std::string line;
    std::string train;
    int status;
    std::vector<Expected> faults;
  } cases[] = {
      {"station off the grid, keyword after blanks",
       line_source(),
       train_source("   " + station_at(2775)),
       1,
       {{8, 'T', 3, 14, 2775}}},
      {"second signal on a taken cell",
       line_source(),
       train_source("segnale, 1000, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "segnale, 1010, 1,4,1,0,0, 0,0,0,0,0\r\n"),
       1,
       {{16, 'T', 4, 10, 1010}}},
      {"a fault in each source: both are reported, in order",
       line_source("", "pendenza, 7901, 2\r\n"),
       train_source(station_at(2775)),
       1,
       {{15, 'L', 4, 11, 7901}, {8, 'T', 3, 11, 2775}}},
      {"signal repetition off the grid ends the line source",
       line_source("ripetizione segnali 4, 4675, 0\r\n"),
       train_source(),
       1,
       {{3, 'L', 3, 24, std::nullopt}}},
      {"finishing fault points at the slow order it could not mark",
       line_source(),
       train_source("segnale, 650, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "segnale, 700, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "segnale, 750, 1,4,1,0,0, 0,0,0,0,0\r\n"
                    "  rallentamento, 1000, 120, 50, 0, 0, 0\r\n"),
       1,
       {{12, 'T', 6, 18, 1050}}},
      {"no track cells: error exit with the fault that stopped the line",
       "[generale]\r\nlunghezza percorso, 1000001\r\n[fine]\r\n",
       train_source(),
       2,
       {{1, 'L', 2, 21, std::nullopt}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sources_.clear();
    source("l_linea.txt", c.line);
    source("l_1-.txt", c.train);
    const ToolRun r = run({"check", "l_linea.txt", "l_1-.txt", "--json"});
    EXPECT_EQ(r.status, c.status) << r.err;
    json report = json::parse(r.out);
    EXPECT_EQ(report["files"], json::array());
    // The faults; the warnings the small sources raise are another test's.
    json errors = json::array();
    for (const json& d : report["diagnostics"]) {
      if (d["severity"] == "error") errors.push_back(d);
    }
    report["diagnostics"] = errors;
    ASSERT_EQ(report["diagnostics"].size(), c.faults.size()) << r.out;
    EXPECT_EQ(report["error_code"], c.faults.back().code);
    EXPECT_EQ(report["truncated"], false);
    std::size_t from = 0;
    for (std::size_t i = 0; i < c.faults.size(); ++i) {
      const Expected& e = c.faults[i];
      const json& d = report["diagnostics"][i];
      const std::string file = e.source == 'L' ? "l_linea.txt" : "l_1-.txt";
      EXPECT_EQ(d["code"], e.code);
      EXPECT_EQ(d["file"], file);
      EXPECT_EQ(d["line"], e.line);
      EXPECT_EQ(d["column"], e.column);
      EXPECT_EQ(d["position"], e.position ? json(*e.position) : json(nullptr));
      EXPECT_EQ(d["severity"], "error");
      EXPECT_EQ(d["check"], "fault-" + std::to_string(e.code));
      EXPECT_GT(d["end_column"].get<int>(), e.column);
      EXPECT_FALSE(d["message"].get<std::string>().empty());
      // The same fault on standard error, in a compiler's format, the
      // source line and a caret under the field after it.
      const std::string head = file + ":" + std::to_string(e.line) + ":" +
                               std::to_string(e.column) +
                               ": error: " + d["message"].get<std::string>() +
                               " [fault-" + std::to_string(e.code) + "]\n";
      const auto at = r.err.find(head, from);
      EXPECT_NE(at, std::string::npos) << r.err;
      if (at != std::string::npos) {
        from = at;
        const std::string caret =
            " | " + std::string(static_cast<std::size_t>(e.column - 1), ' ') +
            "^";
        EXPECT_NE(r.err.find(caret, at), std::string::npos) << r.err;
      }
    }
  }
}

// ---- Warnings, switches and formats --------------------------------------

// Warnings tell the author and change nothing else: compile writes the same
// files with the same status; only --strict or -Werror make them fail, and
// -Wno-NAME silences one.
TEST_F(Scenarioc, WarningsChangeNoFileAndNoStatusUnlessStrict) {
  // No speed-limit table: the missing-table warning.
  source("w_linea.txt", line_source());
  source("w_1-.txt", train_source());
  const ToolRun plain =
      run({"compile", "w_linea.txt", "w_1-.txt", "-o", "plain"});
  EXPECT_EQ(plain.status, 0);
  EXPECT_NE(plain.err.find("w_1-.txt:2:1: warning: "), std::string::npos)
      << plain.err;
  EXPECT_NE(plain.err.find("[missing-table]\n"), std::string::npos);
  const ToolRun silent =
      run({"compile", "w_linea.txt", "w_1-.txt", "-o", "silent",
           "-Wno-missing-table", "-Wno-no-stations", "--strict"});
  EXPECT_EQ(silent.status, 0) << silent.err;
  EXPECT_EQ(silent.err.find("missing-table"), std::string::npos);
  for (const char* name : {"w_linea.dat", "w_1.sim", "w_1.dat"}) {
    EXPECT_EQ(read_file(work_ / "plain" / name),
              read_file(work_ / "silent" / name))
        << name;
  }
  for (const char* strict : {"--strict", "-Werror"}) {
    EXPECT_EQ(run({"check", "w_linea.txt", "w_1-.txt", strict}).status, 1)
        << strict;
  }
  EXPECT_EQ(run({"check", "w_linea.txt", "w_1-.txt", "-Wno-bogus"}).status, 64);

  // The cap on errors: two faults, one reported, and the JSON says so.
  source("two_1-.txt", train_source("segnale, 1000, 1,4,1,0,0, 0,0,0,0,0\r\n"
                                    "segnale, 1010, 1,4,1,0,0, 0,0,0,0,0\r\n"
                                    "segnale, 1020, 1,4,1,0,0, 0,0,0,0,0\r\n"));
  const ToolRun all = run({"check", "w_linea.txt", "two_1-.txt", "--json"});
  const ToolRun capped = run(
      {"check", "w_linea.txt", "two_1-.txt", "--json", "--max-errors", "1"});
  EXPECT_EQ(all.status, 1);
  EXPECT_EQ(capped.status, 1);
  const auto errors = [](const ToolRun& r) {
    int n = 0;
    const json report = json::parse(r.out);
    for (const json& d : report["diagnostics"]) {
      n += d["severity"] == "error" ? 1 : 0;
    }
    return n;
  };
  EXPECT_EQ(errors(all), 2);
  EXPECT_EQ(errors(capped), 1);
  EXPECT_EQ(json::parse(capped.out)["truncated"], true);
}

// Colour on a terminal, unless NO_COLOR is set or --color says otherwise.
TEST_F(Scenarioc, ColoursDiagnosticsOnATerminalUnlessNoColor) {
  source("c_linea.txt", line_source());
  source("c_1-.txt", train_source(station_at(2775)));
  const std::string command =
      std::string(SCENARIO_BIN_DIR) + "/scenarioc check c_linea.txt c_1-.txt";
  const struct {
    std::vector<std::string> args;
    EnvironmentChanges environment;
    bool coloured;
  } cases[] = {
      // script(1) gives the tool a terminal.
      {{"/usr/bin/script", "-qec", command, "/dev/null"},
       {{"NO_COLOR", std::nullopt}},
       true},
      {{"/usr/bin/script", "-qec", command, "/dev/null"},
       {{"NO_COLOR", "1"}},
       false},
      {{"/usr/bin/script", "-qec", command + " --color never", "/dev/null"},
       {{"NO_COLOR", std::nullopt}},
       false},
      {{"/bin/sh", "-c", command + " 2>&1"},
       {{"NO_COLOR", std::nullopt}},
       false},
      {{"/bin/sh", "-c", command + " --color always 2>&1"},
       {{"NO_COLOR", "1"}},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[2]);
    std::vector<std::string> argv{"/usr/bin/env", "-C", work_.string()};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    ChildProcess child(argv, {.environment = c.environment});
    EXPECT_EQ(child.wait_for_exit(kPatience), 1);
    const std::string out = child.stdout_text();
    EXPECT_NE(out.find("[fault-8]"), std::string::npos) << out;
    EXPECT_EQ(out.find("\x1b[") != std::string::npos, c.coloured) << out;
  }
}

// The SARIF log of faults, notes, warnings and a fault found after recovery
// validates against the SARIF 2.1.0 schema, with sources named by relative
// and by absolute paths: a relative one stands on the working directory,
// an absolute one is a file URI.
TEST_F(Scenarioc, SarifLogValidatesAgainstTheSchema) {
  const fs::path validator =
      fs::path(SCENARIO_SOURCE_DIR) / "tests" / "sarif" / "validate.js";
  if (!fs::exists(validator.parent_path() / "node_modules")) {
    FAIL() << "run scripts/install-deps: it installs the SARIF schema and "
              "its validator into tests/sarif/node_modules";
  }
  source("s_linea.txt", line_source("", "pendnza, 100, 2\r\n"));
  source("s_1-.txt", train_source("segnale, 1000, 1,4,1,0,0, 0,0,0,0,0\r\n"
                                  "segnale, 1010, 1,4,1,0,0, 0,0,0,0,0\r\n" +
                                  station_at(2775) + station_at(3000)));
  // An error exit is a result at the row that led to it.
  source("e_1-.txt",
         train_source("segnale, 0, 1,4,1,0,0, 0,0,0,0,0\r\n" + station_at(500)));
  const auto validates = [&](const std::string& text) {
    std::ofstream(work_ / "log.sarif", std::ios::binary) << text;
    ChildProcess node({"/bin/sh", "-c", "exec node \"$1\" < \"$2\"", "sh",
                       validator.string(), (work_ / "log.sarif").string()},
                      {.environment = {}});
    EXPECT_EQ(node.wait_for_exit(kPatience), 0) << node.stderr_text();
    EXPECT_EQ(node.stdout_text(), "valid SARIF 2.1.0\n");
  };
  const std::string absolute = (work_ / "s_1-.txt").string();
  const ToolRun r = run({"check", "s_linea.txt", absolute, "--format", "sarif",
                         "--max-errors", "1"});
  EXPECT_EQ(r.status, 1);
  const json log = json::parse(r.out);
  EXPECT_EQ(log["version"], "2.1.0");
  const json& sarif_run = log["runs"][0];
  std::set<std::string> levels;
  std::set<json> artifacts;
  for (const json& result : sarif_run["results"]) {
    levels.insert(result["level"].get<std::string>());
    artifacts.insert(
        result["locations"][0]["physicalLocation"]["artifactLocation"]);
  }
  EXPECT_EQ(levels, (std::set<std::string>{"error", "warning"}));
  EXPECT_EQ(artifacts, (std::set<json>{
                           {{"uri", "s_linea.txt"}, {"uriBaseId", "%SRCROOT%"}},
                           {{"uri", "file://" + absolute}}}));
  const json directory = {{"uri", "file://" + work_.string() + "/"}};
  EXPECT_EQ(sarif_run["originalUriBaseIds"]["%SRCROOT%"], directory);
  EXPECT_EQ(sarif_run["columnKind"], "unicodeCodePoints");
  const json& invocation = sarif_run["invocations"][0];
  EXPECT_EQ(invocation["executionSuccessful"], true);
  EXPECT_EQ(invocation["workingDirectory"], directory);
  EXPECT_EQ(invocation["toolExecutionNotifications"].size(), 1u);

  validates(r.out);

  const ToolRun exit =
      run({"check", "s_linea.txt", "e_1-.txt", "--format", "sarif"});
  EXPECT_EQ(exit.status, 2);
  const json exit_log = json::parse(exit.out);
  const json& results = exit_log["runs"][0]["results"];
  const auto found = std::find_if(
      results.begin(), results.end(),
      [](const json& x) { return x["ruleId"] == "fault-1250"; });
  ASSERT_NE(found, results.end()) << exit.out;
  EXPECT_EQ((*found)["level"], "error");
  EXPECT_EQ((*found)["locations"][0]["physicalLocation"]["region"]["startLine"],
            3);
  const json& rule =
      exit_log["runs"][0]["tool"]["driver"]["rules"][(*found)["ruleIndex"].get<int>()];
  EXPECT_EQ(rule["id"], "fault-1250");
  validates(exit.out);
}

// ---- The JSON report ------------------------------------------------------

TEST_F(Scenarioc, JsonReportHoldsTheModelsLastFaultAndTheFilesWritten) {
  source("j_linea.txt", line_source("", "pendenza, 7901, 2\r\n"));
  source("j_1-.txt", train_source(station_at(2775)));
  source("stamp_1-.txt",
         train_source("segnale, 50, 1,4,1,0,0, 0,0,0,0,0\r\n"
                      "segnale, 100, 1,4,1,0,0, 0,0,0,0,0\r\n"
                      "rallentamento, 1550, 30, 50, 0, 0, 0\r\n"));
  source("x_linea.txt",
         "[generale]\r\nlunghezza percorso, 1000001\r\n[fine]\r\n");
  const struct {
    std::vector<std::string> args;
    json expected;  // diagnostics without their messages
  } cases[] = {
      {{"compile", "j_linea.txt", "j_1-.txt", "-o", "out", "--json"},
       {{"error_code", 8},
        {"error_position", 2775},
        {"error_exit", nullptr},
        {"files", {"j_linea.dat", "j_1.sim", "j_1.dat"}},
        {"column_unit", "byte"},
        {"truncated", false},
        {"diagnostics",
         {{{"code", 15},
           {"position", 7901},
           {"file", "j_linea.txt"},
           {"line", 4},
           {"column", 11},
           {"severity", "error"},
           {"check", "fault-15"},
           {"after_recovery", false}},
          {{"code", nullptr},
           {"position", nullptr},
           {"file", "j_1-.txt"},
           {"line", 2},
           {"column", 1},
           {"severity", "warning"},
           {"check", "missing-table"},
           {"after_recovery", false}},
          {{"code", 8},
           {"position", 2775},
           {"file", "j_1-.txt"},
           {"line", 3},
           {"column", 11},
           {"severity", "error"},
           {"check", "fault-8"},
           {"after_recovery", false}}}}}},
      {{"compile", "x_linea.txt", "j_1-.txt", "-o", "out", "--json"},
       {{"error_code", 1},
        {"error_position", 0},
        {"error_exit", 1},
        {"files", json::array()},
        {"column_unit", "byte"},
        {"truncated", false},
        {"diagnostics",
         {{{"code", 1},
           {"position", nullptr},
           {"file", "x_linea.txt"},
           {"line", 2},
           {"column", 21},
           {"severity", "error"},
           {"check", "fault-1"},
           {"after_recovery", false}}}}}},
      // The finishing pass marks cell 1 (the signal in cell 3 has cell 2
      // taken before it) and the stamp check ends the run; the model still
      // holds the line's fault.
      {{"compile", "j_linea.txt", "stamp_1-.txt", "-o", "out", "--json"},
       {{"error_code", 15},
        {"error_position", 7901},
        {"error_exit", 1250},
        {"files", json::array()},
        {"column_unit", "byte"},
        {"truncated", false},
        {"diagnostics",
         {{{"code", 15},
           {"position", 7901},
           {"file", "j_linea.txt"},
           {"line", 4},
           {"column", 11},
           {"severity", "error"},
           {"check", "fault-15"},
           {"after_recovery", false}},
          {{"code", nullptr},
           {"position", nullptr},
           {"file", "stamp_1-.txt"},
           {"line", 2},
           {"column", 1},
           {"severity", "warning"},
           {"check", "missing-table"},
           {"after_recovery", false}},
          {{"code", nullptr},
           {"position", nullptr},
           {"file", "stamp_1-.txt"},
           {"line", 2},
           {"column", 1},
           {"severity", "warning"},
           {"check", "no-stations"},
           {"after_recovery", false}},
          // The error exit at the slow order the finishing pass marked
          // cell 1 for (its row also lies beyond the small line's end:
          // the error speaks for that field).
          {{"code", 1250},
           {"position", nullptr},
           {"file", "stamp_1-.txt"},
           {"line", 5},
           {"column", 16},
           {"severity", "error"},
           {"check", "fault-1250"},
           {"after_recovery", false}}}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args[2]);
    const ToolRun r = run(c.args);
    // One object and nothing else on standard output, keys in this order.
    nlohmann::ordered_json report = nlohmann::ordered_json::parse(r.out);
    std::vector<std::string> keys;
    for (const auto& [key, value] : report.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{
                        "error_code", "error_position", "error_exit", "files",
                        "column_unit", "diagnostics", "truncated"}));
    for (auto& d : report["diagnostics"]) {
      EXPECT_TRUE(d["message"].is_string());
      EXPECT_TRUE(d["end_column"].is_number());
      EXPECT_TRUE(d["notes"].is_array());
      for (const char* key : {"message", "end_column", "notes"}) d.erase(key);
    }
    EXPECT_EQ(json::parse(report.dump()), c.expected);
    // Standard error names what was written, as plot does.
    std::string written;
    for (const auto& f : c.expected["files"]) {
      EXPECT_TRUE(fs::exists(work_ / "out" / f.get<std::string>())) << f;
      written +=
          (written.empty() ? "" : ", ") + ("out/" + f.get<std::string>());
    }
    EXPECT_EQ(r.err.find("scenarioc compile: wrote " + written + "\n") !=
                  std::string::npos,
              !written.empty())
        << r.err;
  }
}

// ---- Names and files ------------------------------------------------------

TEST_F(Scenarioc, NamesDefaultFromTheSourceFileNames) {
  const std::string citta = "Citt\xC3\xA0";  // UTF-8, as typed by an author
  const struct {
    std::string line_file;
    std::string train_file;
    std::vector<std::string> options;
    std::vector<std::string> files;
  } cases[] = {
      {"Firenze_Pisa_linea.txt",
       "Firenze_Pisa_11711-.txt",
       {},
       {"Firenze_Pisa_linea.dat", "Firenze_Pisa_11711.sim",
        "Firenze_Pisa_11711.dat"}},
      {"mia_linea.src",
       "treno.txt",
       {},
       {"mia_linea_linea.dat", "mia_linea_treno.sim", "mia_linea_treno.dat"}},
      {"Firenze_Pisa_linea.txt",
       "Altra_11711-.txt",
       {},
       {"Firenze_Pisa_linea.dat", "Firenze_Pisa_Altra_11711-.sim",
        "Firenze_Pisa_Altra_11711-.dat"}},
      // The train number is looked for after the line name in use.
      {"x_linea.txt",
       "x_42-.txt",
       {"--line-name", "Y"},
       {"Y_linea.dat", "Y_x_42-.sim", "Y_x_42-.dat"}},
      {"x_linea.txt",
       "x_42-.txt",
       {"--train-number", "7", "--no-geometry"},
       {"x_7.sim", "x_7.dat"}},
      {citta + "_linea.txt",
       citta + "_5-.txt",
       {},
       {citta + "_linea.dat", citta + "_5.sim", citta + "_5.dat"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line_file + " " + c.train_file);
    fs::remove_all(work_);
    fs::create_directory(work_);
    sources_.clear();
    source(c.line_file, line_source());
    source(c.train_file, train_source());
    std::vector<std::string> args{"compile", c.line_file, c.train_file,
                                  "--json"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ToolRun r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(json::parse(r.out)["files"], json(c.files));
    std::set<std::string> expected{c.files.begin(), c.files.end()};
    expected.insert({c.line_file, c.train_file});
    EXPECT_EQ(listing(work_), expected);  // the working directory by default
  }

  // The slot file carries the names in the single-byte code page: slots 0
  // to 84 are 34 bytes each here, slot 85 holds the line name.
  const std::string sim = read_file(work_ / (citta + "_5.sim"));
  ASSERT_GT(sim.size(), 85u * 34 + 21);
  EXPECT_EQ(sim.substr(85 * 34 + 14, 7),
            std::string("\x05\x00", 2) + "Citt\xE0");
}

// ---- Standard output ------------------------------------------------------

// Output that cannot be written is a failure like any other file's: status
// 3 and one line, never a clean status over a cut report or picture.
TEST_F(Scenarioc, StandardOutputThatCannotBeWrittenIsAFailure) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  source("ok_linea.txt", line_source());
  source("ok_1-.txt", train_source());
  ASSERT_EQ(run({"compile", "ok_linea.txt", "ok_1-.txt", "-o", "out"}).status,
            0);
  const std::vector<std::string> cases[] = {
      {"dump", "out/ok_1.dat"},
      {"dump", "out/ok_1.sim", "--json"},
      {"dump", "out/ok_linea.dat", "--all"},
      {"plot", "out", "-o", "-"},
      {"compile", "ok_linea.txt", "ok_1-.txt", "-o", "out", "--json"},
      {"check", "ok_linea.txt", "ok_1-.txt", "--json"},
      {"--help"},
  };
  for (const auto& args : cases) {
    std::vector<std::string> argv{
        "/bin/sh",
        "-c",
        "cd \"$1\" && shift && exec \"$@\" >/dev/full",
        "sh",
        work_.string(),
        std::string(SCENARIO_BIN_DIR) + "/scenarioc"};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess child(argv, {.environment = {}});
    EXPECT_EQ(child.wait_for_exit(kPatience), 3) << args[0] << " " << args[1];
    // The small test sources draw warnings first; the failure is the last
    // line.
    EXPECT_TRUE(child.stderr_text().ends_with(
        "scenarioc: error: cannot write standard output: " +
        std::string(std::strerror(ENOSPC)) + "\n"))
        << args[0] << " " << args[1] << ": " << child.stderr_text();
  }

  // A picture that does not fit on the disk it goes to.
  fs::create_symlink("/dev/full", work_ / "full.svg");
  const ToolRun full = run({"plot", "out", "-o", "full.svg"});
  EXPECT_EQ(full.status, 3);
  EXPECT_EQ(full.err, "scenarioc plot: ./full.svg: " +
                          std::string(std::strerror(ENOSPC)) + "\n");
  EXPECT_TRUE(fs::is_symlink(work_ / "full.svg"));
}

// ---- Inputs that never end ------------------------------------------------

// At most this much memory for a child that must not take more, were it to
// read without a bound: the address space where no sanitizer needs more,
// the resident memory (through the sanitizer's own limit) where one does.
bool limit_memory() {
#if !defined(__SANITIZE_ADDRESS__)
  const rlimit limit{rlim_t{1} << 30, rlim_t{1} << 30};
  return ::setrlimit(RLIMIT_AS, &limit) == 0;
#else
  return true;
#endif
}

// A device that never ends is read only up to the largest file of the kind
// asked for, and then refused, where it once filled memory until the
// program was killed.
TEST_F(Scenarioc, DumpReadsADeviceOnlyUpToTheLargestFile) {
  for (const char* kind : {"cells", "slots", "geometry"}) {
    ChildProcess child(
        {std::string(SCENARIO_BIN_DIR) + "/scenarioc", "dump", "/dev/zero",
         "--kind", kind},
        {.environment = {{"ASAN_OPTIONS", "hard_rss_limit_mb=1024"}},
         .prepare = limit_memory});
    EXPECT_EQ(child.wait_for_exit(kPatience), 65) << kind;
    EXPECT_NE(child.stderr_text().find("/dev/zero: holds more than"),
              std::string::npos)
        << child.stderr_text();
  }
}

// A source is a regular file of at most 256 MiB: a device, a FIFO with no
// writer and a larger file are refused before any of them is read, by
// every subcommand that reads sources.
TEST_F(Scenarioc, SourcesAreRegularFilesOfBoundedSize) {
  source("ok_linea.txt", line_source());
  source("ok_1-.txt", train_source());
  ASSERT_EQ(::mkfifo((work_ / "fifo_1-.txt").c_str(), 0600), 0);
  // A file of holes: as large as it says, without taking the disk.
  std::ofstream(work_ / "huge_linea.txt").close();
  fs::resize_file(work_ / "huge_linea.txt", (std::uintmax_t{256} << 20) + 1);
  const struct {
    std::string line, train, says;
  } inputs[] = {
      {"/dev/zero", "/dev/zero", "/dev/zero: not a regular file"},
      {"ok_linea.txt", "fifo_1-.txt", "fifo_1-.txt: not a regular file"},
      {"huge_linea.txt", "ok_1-.txt",
       "huge_linea.txt: holds more than 268435456 bytes (256 MiB), the "
       "largest a source may be"},
  };
  for (const auto& in : inputs) {
    for (const char* command : {"check", "compile", "plot"}) {
      SCOPED_TRACE(std::string(command) + " " + in.line + " " + in.train);
      ChildProcess child({"/usr/bin/env", "-C", work_.string(),
                          std::string(SCENARIO_BIN_DIR) + "/scenarioc", command,
                          in.line, in.train},
                         {.environment = {{"ASAN_OPTIONS",
                                           "hard_rss_limit_mb=1024"}},
                          .prepare = limit_memory});
      EXPECT_EQ(child.wait_for_exit(kPatience), 3);
      EXPECT_NE(child.stderr_text().find(in.says), std::string::npos)
          << child.stderr_text();
    }
  }
}

// ---- Sources --------------------------------------------------------------

// `sources` never replaces a file an author may have edited: a file that
// differs from what it would write is named and left alone, and nothing is
// written, unless --force is given. Files that are the same are no obstacle.
TEST_F(Scenarioc, SourcesLeavesEditedFilesUnlessForced) {
  ASSERT_EQ(run({"sources", "-o", "d"}).status, 0);
  const fs::path d = work_ / "d";
  const std::string line = read_file(d / "Firenze_Pisa_linea.txt");
  const std::string card = read_file(d / "Firenze_Pisa_11711_scheda_treno.txt");
  EXPECT_EQ(run({"sources", "-o", "d"}).status, 0) << "nothing differs";

  std::ofstream(d / "Firenze_Pisa_linea.txt", std::ios::app)
      << "pendenza, 9000, 3\r\n";
  std::ofstream(d / "Firenze_Pisa_11711_scheda_treno.txt") << "my notes";
  fs::remove(d / "Firenze_Pisa_11711_note.txt");
  const ToolRun refused = run({"sources", "-o", "d"});
  EXPECT_EQ(refused.status, 64);
  EXPECT_EQ(refused.err,
            "scenarioc: error: d/Firenze_Pisa_linea.txt differs from what "
            "sources would write; give --force to replace it\n"
            "scenarioc: error: d/Firenze_Pisa_11711_scheda_treno.txt differs "
            "from what sources would write; give --force to replace it\n");
  EXPECT_EQ(read_file(d / "Firenze_Pisa_linea.txt"),
            line + "pendenza, 9000, 3\r\n");
  EXPECT_EQ(read_file(d / "Firenze_Pisa_11711_scheda_treno.txt"), "my notes");
  EXPECT_FALSE(fs::exists(d / "Firenze_Pisa_11711_note.txt"));

  const ToolRun forced = run({"sources", "-o", "d", "--force"});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(read_file(d / "Firenze_Pisa_linea.txt"), line);
  EXPECT_EQ(read_file(d / "Firenze_Pisa_11711_scheda_treno.txt"), card);
  EXPECT_TRUE(fs::exists(d / "Firenze_Pisa_11711_note.txt"));
}

// ---- Against the scenario program -----------------------------------------

// The embedded scenario, written by `sources` and compiled by `compile`, gives
// the very files the scenario program builds.
TEST_F(Scenarioc, SourcesThenCompileGivesTheScenarioProgramsFiles) {
  const fs::path program_dir = root_ / "program";
  fs::create_directory(program_dir);
  fs::copy_file(fs::path(SCENARIO_BIN_DIR) / "scenario",
                program_dir / "scenario");
  ChildProcess program({(program_dir / "scenario").string()},
                       {.environment = {{"DISPLAY", std::nullopt}}});
  ASSERT_EQ(program.wait_for_exit(kPatience), 0) << program.stderr_text();

  ASSERT_EQ(run({"sources", "-o", "d"}).status, 0);
  const fs::path d = work_ / "d";
  const std::string line = read_file(d / "Firenze_Pisa_linea.txt");
  const std::string train = read_file(d / "Firenze_Pisa_11711-.txt");
  const ToolRun r = run({"compile", "d/Firenze_Pisa_linea.txt",
                         "d/Firenze_Pisa_11711-.txt", "-o", "d"});
  EXPECT_EQ(r.status, 0) << r.err;
  // No diagnostic, only what was written.
  EXPECT_EQ(r.err,
            "scenarioc compile: wrote d/Firenze_Pisa_linea.dat, "
            "d/Firenze_Pisa_11711.sim, d/Firenze_Pisa_11711.dat\n");
  EXPECT_EQ(read_file(d / "Firenze_Pisa_linea.txt"), line);
  EXPECT_EQ(read_file(d / "Firenze_Pisa_11711-.txt"), train);
  EXPECT_FALSE(line.empty());
  for (const char* name :
       {"Firenze_Pisa_linea.dat", "Firenze_Pisa_11711.sim",
        "Firenze_Pisa_11711.dat", "Firenze_Pisa_11711_note.txt",
        "Firenze_Pisa_11711_rallentamenti.txt",
        "Firenze_Pisa_11711_scheda_treno.txt"}) {
    ASSERT_TRUE(fs::exists(program_dir / name)) << name;
    EXPECT_TRUE(read_file(d / name) == read_file(program_dir / name)) << name;
  }
}

}  // namespace
