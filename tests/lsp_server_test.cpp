// `scenarioc lsp` driven as a process, as an editor drives it: the
// lifecycle, every kind of malformed input, the diagnostics of both sources
// of a pair as the author types, and what it tells about a row.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "child_process.h"
#include "compiler/keywords.h"
#include "lsp_client.h"
#include "model/cp1252.h"
#include "output/scenario_files.h"
#include "testing/embedded_sources.h"
#include "testing/hostile_sources.h"

namespace scenc {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::LspClient;
using testing::read_file;
using testing::TemporaryDirectory;

// The embedded scenario's two sources as they lie on disk.
const testing::SourceTexts& embedded() {
  static const testing::SourceTexts sources = testing::embedded_source_texts();
  return sources;
}

json position(int line, int character) {
  return {{"line", line}, {"character", character}};
}
json range(int line, int from, int to) {
  return {{"start", position(line, from)}, {"end", position(line, to)}};
}

// The 0-based line of `text` (UTF-8) that starts with `prefix`; -1 when
// none does.
int line_starting(const std::string& text, const std::string& prefix) {
  int line = 0;
  for (std::size_t at = 0; at < text.size(); ++line) {
    if (text.compare(at, prefix.size(), prefix) == 0) return line;
    const std::size_t end = text.find('\n', at);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return -1;
}

// ---- Lifecycle and malformed input --------------------------------------

TEST(LspServer, InitializesAndEndsAsTheProtocolSays) {
  const struct {
    const char* what;
    bool shutdown;
    bool exit;  // else the input just ends
    int status;
  } cases[] = {
      {"shutdown then exit", true, true, 0},
      {"exit without shutdown", false, true, 1},
      {"input ends after shutdown", true, false, 0},
      {"input ends without shutdown", false, false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    LspClient client;
    ASSERT_TRUE(client.started());
    const json init = client.initialize();
    const json& caps = init["result"]["capabilities"];
    EXPECT_EQ(caps["positionEncoding"], "utf-16");
    EXPECT_EQ(caps["textDocumentSync"]["change"], 2);  // incremental
    EXPECT_EQ(caps["hoverProvider"], true);
    EXPECT_EQ(caps["documentSymbolProvider"], true);
    EXPECT_TRUE(caps.contains("completionProvider"));
    EXPECT_EQ(init["result"]["serverInfo"]["name"], "scenarioc");
    if (c.shutdown) {
      const json r = client.request("shutdown", nullptr);
      EXPECT_TRUE(r.contains("result") && r["result"].is_null()) << r;
    }
    if (c.exit) {
      client.notify("exit", nullptr);
    } else {
      client.close_input();
    }
    EXPECT_EQ(client.wait_for_exit(), c.status);
  }
}

TEST(LspServer, AnswersMalformedInputWithErrorsAndGoesOn) {
  LspClient client;
  ASSERT_TRUE(client.started());
  // Before initialize, a request is refused and a notification dropped.
  const json early = client.request("textDocument/hover", json::object());
  EXPECT_EQ(early["error"]["code"], -32002);
  client.initialize();

  const auto error_after = [&](const std::string& raw) {
    client.send_raw(raw);
    return client.wait_for([](const json& m) { return m.contains("error"); });
  };
  const auto framed = [](const std::string& content) {
    return "Content-Length: " + std::to_string(content.size()) + "\r\n\r\n" +
           content;
  };
  const struct {
    const char* what;
    std::string raw;
    int code;
  } cases[] = {
      {"content that is not JSON", framed("{\"a\": 1,}"), -32700},
      {"a Content-Length shorter than the content",
       "Content-Length: 10\r\n\r\n{\"jsonrpc\": \"2.0\", \"id\": 50, \"method\": \"x\"}",
       -32700},
      {"a header without Content-Length", "Content-Type: x\r\n\r\n{}", -32700},
      {"a Content-Length that is no number", "Content-Length: many\r\n\r\n{}",
       -32700},
      {"a Content-Length beyond any source",
       "Content-Length: 99999999999999999999\r\n\r\n{}", -32700},
      {"a header that never ends", std::string(20000, 'x'), -32700},
      {"a batch", framed("[]"), -32600},
      {"a message that is no object", framed("7"), -32600},
      {"a request without a method", framed(R"({"jsonrpc": "2.0", "id": 8})"),
       -32600},
      {"a request without jsonrpc 2.0",
       framed(R"({"id": 9, "method": "shutdown"})"), -32600},
      {"an id that is an object",
       framed(R"({"jsonrpc": "2.0", "id": {}, "method": "shutdown"})"), -32600},
      {"an unknown method",
       framed(R"({"jsonrpc": "2.0", "id": 10, "method": "x/y"})"), -32601},
      {"hover without a document",
       framed(R"({"jsonrpc": "2.0", "id": 11, "method": "textDocument/hover", "params": {}})"),
       -32602},
      {"params that are a number",
       framed(R"({"jsonrpc": "2.0", "id": 12, "method": "textDocument/hover", "params": 3})"),
       -32600},
      {"params nested 200,000 lists deep",
       framed(R"({"jsonrpc": "2.0", "id": 13, "method": "x", "params": )" +
              std::string(200000, '[') + std::string(200000, ']') + "}"),
       -32600},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const json e = error_after(c.raw);
    ASSERT_FALSE(e.is_null());
    EXPECT_EQ(e["error"]["code"], c.code) << e;
    // The server still answers: a request after the bad input gets its
    // own response.
    const json again = client.request("textDocument/documentSymbol",
                                      {{"textDocument", {{"uri", "file:///none"}}}});
    EXPECT_TRUE(again.contains("result")) << again;
    // What is left of a message whose length lied is reported as well, at
    // most once.
    EXPECT_LE(client.take_all([](const json& m) { return m.contains("error"); }),
              1);
  }
  // An unknown notification is ignored: nothing answers it.
  const std::size_t before = client.messages().size();
  client.notify("x/unknownNotification", {{"a", 1}});
  client.request("textDocument/documentSymbol",
                 {{"textDocument", {{"uri", "file:///none"}}}});
  EXPECT_EQ(client.messages().size(), before + 1);

  EXPECT_EQ(client.request("initialize", {{"capabilities", json::object()}})
                ["error"]["code"],
            -32600);
  client.request("shutdown", nullptr);
  EXPECT_EQ(client.request("textDocument/documentSymbol",
                           {{"textDocument", {{"uri", "file:///none"}}}})
                ["error"]["code"],
            -32600);
  client.notify("exit");
  EXPECT_EQ(client.wait_for_exit(), 0);
  EXPECT_EQ(client.stderr_text(), "");
}

// The most memory the process has held, in KiB, from its status.
long peak_kib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
  }
  return -1;
}

// A source of 16 MiB of line ends, opened, outlined, hovered over and
// completed in: what the server keeps of it and builds for it stays within
// a few times its size.
TEST(LspServer, ASourceOfLineEndsCostsAFewTimesItsSize) {
  LspClient client;
  ASSERT_TRUE(client.started());
  client.initialize();
  const std::string uri = "file:///nowhere/Vuota_linea.txt";
  // Under the sanitizers, where the peak is not measured, a check of 16 MiB
  // takes longer than a client waits: an eighth shows the same answers.
#ifdef SCENARIO_SANITIZED
  const std::size_t line_ends = std::size_t{2} << 20;
#else
  const std::size_t line_ends = std::size_t{16} << 20;
#endif
  client.notify("textDocument/didOpen",
                {{"textDocument",
                  {{"uri", uri},
                   {"languageId", "scenario"},
                   {"version", 1},
                   {"text", "[generale]\r\nlunghezza percorso, 1000\r\n" +
                                std::string(line_ends, '\n')}}}});
  const json at = {{"textDocument", {{"uri", uri}}},
                   {"position", position(static_cast<int>(line_ends / 2), 0)}};
  EXPECT_EQ(client.request("textDocument/documentSymbol",
                           {{"textDocument", {{"uri", uri}}}})["result"],
            json::array());
  EXPECT_TRUE(client.request("textDocument/hover", at)["result"].is_null());
  EXPECT_EQ(client.request("textDocument/completion", at)["result"]["items"],
            json::array());
  const long peak = peak_kib(client.pid());
  EXPECT_GT(peak, 0);
#ifndef SCENARIO_SANITIZED
  // The message alone is 32 MiB as it arrives; 2.7 GB once went to rows.
  EXPECT_LT(peak, 512 * 1024);
#endif
  client.request("shutdown", nullptr);
  client.notify("exit");
  EXPECT_EQ(client.wait_for_exit(), 0);
}

// exit comes while a check with recovery runs over a large partner on disk:
// the server ends with the status exit asks for, never a signal, however
// far that check has gone.
TEST(LspServer, ExitDuringACheckWithRecoveryEndsCleanly) {
  TemporaryDirectory dir("scenarioc-lsp-exit");
  ASSERT_FALSE(dir.path().empty());
  std::ofstream(dir.path() / "Grande_linea.txt", std::ios::binary)
      << hostile::mountain_rows(10'000'000);
  // Five stations off the 50 m grid: each ends a compile of the pair.
  std::string train = "[generale]\r\nnumero vetture, 6\r\n[stazioni]\r\n";
  for (int i = 1; i <= 5; ++i) {
    train += "stazione, " + std::to_string(i * 100'000 + 10) +
             ", 2, 400, 0,0,0, 0,0,0, 0,0,0, 0, 10,0,0, S\r\n";
  }
  train += "[fine]\r\n";
  const std::string uri = "file://" + (dir.path() / "Grande_1-.txt").string();

  LspClient client;
  ASSERT_TRUE(client.started());
  client.initialize();
  client.notify("textDocument/didOpen", {{"textDocument",
                                          {{"uri", uri},
                                           {"languageId", "scenario"},
                                           {"version", 1},
                                           {"text", train}}}});
  // The first compile's diagnostics: the check with recovery starts now.
  ASSERT_FALSE(client.diagnostics(uri).is_null());
  client.request("shutdown", nullptr);
  client.notify("exit");
  EXPECT_EQ(client.wait_for_exit(), 0);
  EXPECT_EQ(client.stderr_text(), "");
}

// ---- Diagnostics as the author types ------------------------------------

class LspSources : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    std::ofstream(dir_.path() / "Firenze_Pisa_linea.txt", std::ios::binary)
        << embedded().line;
    std::ofstream(dir_.path() / "Firenze_Pisa_11711-.txt", std::ios::binary)
        << embedded().train;
    line_uri_ = "file://" + (dir_.path() / "Firenze_Pisa_linea.txt").string();
    train_uri_ = "file://" + (dir_.path() / "Firenze_Pisa_11711-.txt").string();
    ASSERT_TRUE(client_.started());
  }
  void TearDown() override {
    // The server holds none of the sources it read open. (It may have
    // inherited other descriptors from whatever runs the tests.)
    const fs::path fds = "/proc/" + std::to_string(client_.pid()) + "/fd";
    const std::string sources = dir_.path().string() + "/";
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator(fds, ec)) {
      const std::string target = fs::read_symlink(fd.path(), ec).string();
      EXPECT_FALSE(target.starts_with(sources)) << target;
    }
    // Nothing was ever written to the sources on disk.
    EXPECT_EQ(read_file(dir_.path() / "Firenze_Pisa_linea.txt"), embedded().line);
    EXPECT_EQ(read_file(dir_.path() / "Firenze_Pisa_11711-.txt"),
              embedded().train);
  }

  void open(const std::string& uri, const std::string& text) {
    client_.notify("textDocument/didOpen",
                   {{"textDocument",
                     {{"uri", uri}, {"languageId", "scenario"}, {"version", 1},
                      {"text", text}}}});
  }
  void change(const std::string& uri, int version, const json& changes) {
    client_.notify("textDocument/didChange",
                   {{"textDocument", {{"uri", uri}, {"version", version}}},
                    {"contentChanges", changes}});
  }

  TemporaryDirectory dir_{"scenarioc-lsp"};
  // The views of cells go into the test's own directory.
  LspClient client_{{}, {{"XDG_RUNTIME_DIR", dir_.path().string()}}};
  std::string line_uri_;
  std::string train_uri_;
  const std::string train_text_ = cp1252_to_utf8(embedded().train);
  const std::string line_text_ = cp1252_to_utf8(embedded().line);
};

TEST_F(LspSources, DiagnosticsAppearWithAMistakeAndClearWithItsFix) {
  client_.initialize();
  // Both sources open: each gets its diagnostics, none for the embedded
  // pair. A request is answered only once what came before it is checked.
  open(line_uri_, line_text_);
  open(train_uri_, train_text_);
  client_.request("textDocument/documentSymbol",
                  {{"textDocument", {{"uri", train_uri_}}}});
  EXPECT_EQ(client_.latest_diagnostics(train_uri_), json::array());
  EXPECT_EQ(client_.latest_diagnostics(line_uri_), json::array());

  // The second station moved off the 50 m grid, by an incremental change
  // of one digit: "2750" becomes "2775".
  const int row = line_starting(train_text_, "Stazione,   2750");
  ASSERT_GE(row, 0);
  change(train_uri_, 2, json::array({{{"range", range(row, 14, 15)}, {"text", "7"}}}));
  change(train_uri_, 3, json::array({{{"range", range(row, 15, 16)}, {"text", "5"}}}));
  // The two changes may be checked together or one by one: what counts is
  // the last list published before the server answers the next request.
  const auto settled = [&] {
    client_.request("textDocument/documentSymbol",
                    {{"textDocument", {{"uri", train_uri_}}}});
    return client_.latest_diagnostics(train_uri_);
  };
  const json d = settled();
  ASSERT_EQ(d.size(), 1u) << d;
  EXPECT_EQ(d[0]["code"], "fault-8");
  EXPECT_EQ(d[0]["severity"], 1);
  EXPECT_EQ(d[0]["source"], "scenarioc");
  EXPECT_EQ(d[0]["range"]["start"]["line"], row);

  // The whole text back as it was: the diagnostic clears.
  change(train_uri_, 4, json::array({{{"text", train_text_}}}));
  EXPECT_EQ(settled(), json::array());

  // Closing the last open source clears both files.
  client_.notify("textDocument/didClose", {{"textDocument", {{"uri", train_uri_}}}});
  EXPECT_EQ(client_.diagnostics(train_uri_), json::array());
}

// A change of several edits is made whole, each edit on the text the one
// before it left, and checked: a line inserted at the top, the station
// after it moved off the grid, an empty insertion. A change with one edit
// that is no edit changes nothing.
TEST_F(LspSources, AChangeOfSeveralEditsIsMadeWholeAndChecked) {
  client_.initialize();
  open(train_uri_, train_text_);
  EXPECT_EQ(client_.diagnostics(train_uri_), json::array());
  const int row = line_starting(train_text_, "Stazione,   2750");
  ASSERT_GE(row, 0);
  const auto settled = [&] {
    client_.request("textDocument/documentSymbol",
                    {{"textDocument", {{"uri", train_uri_}}}});
    return client_.latest_diagnostics(train_uri_);
  };

  // "2750" would become "2770", but the last edit has no text: the
  // outline still reads the station where it was.
  change(train_uri_, 2,
         json::array({{{"range", range(row, 14, 15)}, {"text", "7"}},
                      {{"range", range(row, 16, 16)}}}));
  const json outline = client_.request(
      "textDocument/documentSymbol", {{"textDocument", {{"uri", train_uri_}}}});
  EXPECT_NE(outline.dump().find("station at 2750 m"), std::string::npos);
  const json refused = client_.latest_diagnostics(train_uri_);
  EXPECT_TRUE(refused.is_null() || refused == json::array()) << refused;

  change(train_uri_, 3,
         json::array({{{"range", range(0, 0, 0)}, {"text", "titolo\r\n"}},
                      {{"range", range(row + 1, 14, 15)}, {"text", "7"}},
                      {{"range", range(row + 1, 16, 16)}, {"text", ""}}}));
  const json d = settled();
  ASSERT_EQ(d.size(), 1u) << d;
  EXPECT_EQ(d[0]["code"], "fault-8");
  EXPECT_EQ(d[0]["range"], range(row + 1, 12, 16));
}

TEST_F(LspSources, ColumnsCountAsTheEditorCounts) {
  client_.initialize();
  // A signal on the cell of the one before it, with a character before the
  // fault's field that takes two UTF-16 units and one byte on disk.
  std::string text = train_text_;
  const std::string row = "segnale,   2100";
  text.replace(text.find(row), row.size(), "segnale\xF0\x9F\x98\x80,   1000");
  open(train_uri_, text);
  json d = client_.diagnostics(train_uri_);
  ASSERT_EQ(d.size(), 1u) << d;
  EXPECT_EQ(d[0]["code"], "fault-16");
  // The field "1000" stands at UTF-16 column 13 to 17 on its line.
  const int line = line_starting(text, "segnale\xF0\x9F\x98\x80");
  EXPECT_EQ(d[0]["range"], range(line, 13, 17));
}

TEST_F(LspSources, FaultsBehindAStageEndingFaultFollow) {
  client_.initialize();
  // A station off the grid ends the train's compile; a signal on the cell
  // of the one before it stands behind it.
  std::string text = train_text_;
  for (const auto& [from, to] :
       {std::pair{"Stazione,   2750", "Stazione,   2775"},
        {"segnale,   2100", "segnale,   1000"}}) {
    text.replace(text.find(from), std::string(from).size(), to);
  }
  open(train_uri_, text);
  // At once, what the first compile finds.
  json d = client_.diagnostics(train_uri_);
  ASSERT_EQ(d.size(), 1u) << d;
  EXPECT_EQ(d[0]["code"], "fault-8");
  // Then what the check finds when it compiles past the station.
  d = client_.diagnostics(train_uri_);
  ASSERT_EQ(d.size(), 2u) << d;
  EXPECT_EQ(d[0]["code"], "fault-8");
  EXPECT_EQ(d[1]["code"], "fault-16");
  EXPECT_NE(d[1]["message"].get<std::string>().find("found after recovery"),
            std::string::npos)
      << d;
  // The fix clears both, and no later word of the old text follows.
  change(train_uri_, 2, json::array({{{"text", train_text_}}}));
  EXPECT_EQ(client_.diagnostics(train_uri_), json::array());
  client_.request("textDocument/documentSymbol",
                  {{"textDocument", {{"uri", train_uri_}}}});
  const json later = client_.latest_diagnostics(train_uri_);
  EXPECT_TRUE(later.is_null() || later == json::array()) << later;
}

TEST_F(LspSources, AMissingPartnerIsSaidOnce) {
  const std::string lone = "file://" + (dir_.path() / "Sola_1-.txt").string();
  client_.initialize();
  open(lone, train_text_);
  const json d = client_.diagnostics(lone);
  ASSERT_EQ(d.size(), 1u) << d;
  EXPECT_EQ(d[0]["code"], "missing-line-source");
  EXPECT_EQ(d[0]["range"]["start"], position(0, 0));
}

// A partner on disk that is no regular file, a FIFO with no writer or a
// link to a device, is never read: the train is checked as without its
// line, at once.
TEST_F(LspSources, APartnerThatIsNoRegularFileIsNotRead) {
  ASSERT_EQ(::mkfifo((dir_.path() / "Fifo_linea.txt").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", dir_.path() / "Zero_linea.txt");
  client_.initialize();
  for (const char* train : {"Fifo_1-.txt", "Zero_1-.txt"}) {
    SCOPED_TRACE(train);
    const std::string uri = "file://" + (dir_.path() / train).string();
    open(uri, train_text_);
    const json d = client_.diagnostics(uri);
    ASSERT_EQ(d.size(), 1u) << d;
    EXPECT_EQ(d[0]["code"], "missing-line-source");
  }
  client_.request("shutdown", nullptr);
  client_.notify("exit");
  EXPECT_EQ(client_.wait_for_exit(), 0);
}

// ---- What the server tells about a row --------------------------------------

// The value of the hover at `row`, `character` of the document (empty when
// there is none).
std::string hover_text(LspClient& client, const std::string& uri, int row,
                       int character) {
  const json r = client.request("textDocument/hover",
                                {{"textDocument", {{"uri", uri}}},
                                 {"position", position(row, character)}});
  return r["result"].is_null()
             ? ""
             : r["result"]["contents"]["value"].get<std::string>();
}

TEST_F(LspSources, HoverTellsWhatARowBecomes) {
  client_.initialize();
  open(train_uri_, train_text_);
  open(line_uri_, line_text_);
  const struct {
    bool train;
    const char* row;  // the start of the row's line
    int character;
    std::vector<std::string> says;
  } cases[] = {
      {true,
       "Stazione,   2750",
       2,
       {"**station** FIRENZE RIFREDI", "slot 2;", "extent 2450 m to 3100 m",
        "cell 61 (3000 m): station marker"}},
      {true,
       "Stazione,   2750",
       13,
       {"**position** (m)", "2750 m, the position of cell 56"}},
      {true,
       "segnale,   4600",
       2,
       {"**signal**", "cell 93 (4600 m): signal, s1 4",
        "approach codes: cell 91: 81"}},
      {true,
       "rallentamento",
       1,
       {"cell 187 (9300 m): slow-order start",
        "cell 188 (9350 m): slow-order end",
        "cell 163 (8100 m): slow-order warning",
        "cell 159 (7900 m): slow-order approach"}},
      {true, "orologio", 1, {"slot 86 (train): orologio 10:49:30"}},
      {false,
       "curvas2",
       1,
       {"from 700 m to 800 m", "radius about 5000 m, turning left"}},
      {false, "lunghezza percorso", 1, {"slot 84", "line_length 82000 m"}},
      {false, "montagna, 29100", 1, {"mountain cells 582 to 583: type 2"}},
      {false,
       "cartello indicatore,  18550",
       1,
       {"cell 372 (18550 m): signboard, slot 80"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row);
    const std::string& text = c.train ? train_text_ : line_text_;
    const int row = line_starting(text, c.row);
    ASSERT_GE(row, 0);
    const std::string value =
        hover_text(client_, c.train ? train_uri_ : line_uri_, row, c.character);
    for (const std::string& says : c.says) {
      EXPECT_NE(value.find(says), std::string::npos) << says << "\n" << value;
    }
  }
  // A comment and a header become nothing.
  EXPECT_EQ(
      hover_text(client_, line_uri_, line_starting(line_text_, "- cascine"), 2),
      "");
  EXPECT_EQ(
      hover_text(client_, line_uri_, line_starting(line_text_, "[curve]"), 2),
      "");
}

// The hover tells the class the compile gave a curve, and where the compile
// stopped: at a curve whose keyword lost its class digit, and not at the
// curves behind it.
TEST_F(LspSources, HoverTellsWhereTheCompileStopped) {
  client_.initialize();
  std::string line = line_text_;
  const std::size_t at = line.find("curvas2,");
  ASSERT_NE(at, std::string::npos);
  line.erase(at + 6, 1);  // "curvas2" becomes "curvas"
  open(train_uri_, train_text_);
  open(line_uri_, line);
  const auto hover_at = [&](const char* start) {
    const int row = line_starting(line, start);
    EXPECT_GE(row, 0) << start;
    return hover_text(client_, line_uri_, row, 1);
  };
  const std::string faulted = hover_at("curvas,");
  EXPECT_NE(faulted.find("the compile ends at this row"), std::string::npos)
      << faulted;
  EXPECT_EQ(faulted.find("class "), std::string::npos) << faulted;
  const std::string behind = hover_at("curvas3,");
  EXPECT_NE(behind.find("the compile did not reach this row"),
            std::string::npos)
      << behind;
  EXPECT_EQ(behind.find("radius about"), std::string::npos) << behind;
}

// Every row of the keyword tables, written as its example: the hover names
// it, and a row the source holds once tells the slot fields it sets.
TEST_F(LspSources, HoverKnowsEveryKeyword) {
  std::string line = "[generale]\r\n";
  std::string train = "[generale]\r\n";
  for (const Keyword& k : kLineGeneralKeywords)
    line += std::string(k.example) + "\r\n";
  line += "[pendenze]\r\n";
  for (const Keyword& k : kLineBodyKeywords)
    line += std::string(k.example) + "\r\n";
  for (const Keyword& k : kTrainKeywords)
    train += std::string(k.example) + "\r\n";
  const std::string dir = "file://" + dir_.path().string();
  client_.initialize();
  open(dir + "/Esempi_linea.txt", line + "[fine]\r\n");
  open(dir + "/Esempi_1-.txt", train + "[fine]\r\n");
  for (const auto& [uri, text] : {std::pair{dir + "/Esempi_linea.txt", line},
                                  {dir + "/Esempi_1-.txt", train}}) {
    for (const auto table : kKeywordTables) {
      for (const Keyword& k : table) {
        const int row = line_starting(text, std::string(k.example));
        if (row < 0) continue;  // the other source's keyword
        SCOPED_TRACE(k.row);
        const std::string value = hover_text(client_, uri, row, 0);
        EXPECT_NE(value.find("**" + std::string(k.row) + "**"),
                  std::string::npos)
            << value;
        if (k.order == RowOrder::kOnce) {
          EXPECT_NE(value.find("slot 8"), std::string::npos) << value;
        }
      }
    }
  }
}

TEST_F(LspSources, OutlineListsSectionsAndTheirRows) {
  client_.initialize();
  open(train_uri_, train_text_);
  const json r = client_.request("textDocument/documentSymbol",
                                 {{"textDocument", {{"uri", train_uri_}}}});
  std::map<std::string, json> sections;
  for (const json& s : r["result"]) sections[s["name"]] = s;
  for (const char* name :
       {"[generale]", "[aderenze]", "[vel_limite]", "[stazioni]",
        "[rallentamenti]", "[segnali]", "[fine]"}) {
    EXPECT_TRUE(sections.count(name)) << name;
  }
  const json& stations = sections["[stazioni]"]["children"];
  ASSERT_EQ(stations.size(), 16u);
  EXPECT_EQ(stations[0]["name"], "FIRENZE S.M.N.");
  EXPECT_EQ(stations[1]["detail"], "station at 2750 m");
  EXPECT_EQ(stations[1]["selectionRange"]["start"],
            position(line_starting(train_text_, "Stazione,   2750"), 0));
  EXPECT_EQ(sections["[segnali]"]["children"].size(), 42u);
  EXPECT_EQ(sections["[rallentamenti]"]["children"][0]["detail"],
            "slow order at 9300 m");
  // A section's range runs from its header to its last row.
  EXPECT_EQ(sections["[stazioni]"]["range"]["start"]["line"],
            line_starting(train_text_, "[stazioni]"));
  EXPECT_EQ(sections["[stazioni]"]["range"]["end"]["line"],
            line_starting(train_text_, "stazione,  80850"));

  // The line source: its mountains and signboards among the rest.
  open(line_uri_, line_text_);
  const json line = client_.request("textDocument/documentSymbol",
                                    {{"textDocument", {{"uri", line_uri_}}}});
  sections.clear();
  for (const json& s : line["result"]) sections[s["name"]] = s;
  const json& mountains = sections["[montagne]"]["children"];
  ASSERT_EQ(mountains.size(), 2u);
  EXPECT_EQ(mountains[0]["detail"], "mountain at 29100 m to 29200 m");
  const json& signboards = sections["[indicazioni]"]["children"];
  ASSERT_EQ(signboards.size(), 3u);
  EXPECT_EQ(signboards[0]["detail"], "signboard at 18550 m");
  EXPECT_EQ(sections["[curve]"]["children"].size(), 48u);
}

TEST_F(LspSources, CompletionOffersTheKeywordsOfTheSection) {
  client_.initialize(
      {{"capabilities",
        {{"textDocument",
          {{"completion", {{"completionItem", {{"snippetSupport", true}}}}}}}}}});
  open(line_uri_, line_text_);
  open(train_uri_, train_text_);
  const auto labels = [&](const std::string& uri, int row, int character) {
    const json r = client_.request("textDocument/completion",
                                   {{"textDocument", {{"uri", uri}}},
                                    {"position", position(row, character)}});
    std::map<std::string, json> items;
    for (const json& item : r["result"]["items"]) items[item["label"]] = item;
    return items;
  };
  const int general = line_starting(line_text_, "sfondo uno");
  const int body = line_starting(line_text_, "pendenza  , 500");
  auto items = labels(line_uri_, general, 0);
  EXPECT_TRUE(items.count("lunghezza percorso"));
  EXPECT_FALSE(items.count("pendenza"));
  items = labels(line_uri_, body, 0);
  EXPECT_TRUE(items.count("pendenza"));
  EXPECT_TRUE(items.count("[curve]"));
  EXPECT_FALSE(items.count("lunghezza percorso"));
  EXPECT_FALSE(items.count("[generale]"));
  // Before "[generale]" only it; after a comma, nothing.
  items = labels(line_uri_, 0, 0);
  EXPECT_EQ(items.size(), 1u);
  EXPECT_TRUE(items.count("[generale]"));
  EXPECT_TRUE(labels(line_uri_, body, 12).empty());

  items = labels(train_uri_, line_starting(train_text_, "segnale,   4600"), 3);
  ASSERT_TRUE(items.count("stazione"));
  const json& station = items["stazione"];
  EXPECT_EQ(station["insertTextFormat"], 2);
  const std::string snippet = station["textEdit"]["newText"];
  EXPECT_TRUE(
      snippet.starts_with("stazione, ${1:position}, ${2:kind}, ${3:length}"))
      << snippet;
  EXPECT_TRUE(snippet.ends_with("${17:name}")) << snippet;
  // The edit replaces what was typed of the keyword field.
  EXPECT_EQ(station["textEdit"]["range"],
            range(line_starting(train_text_, "segnale,   4600"), 0, 3));
}

TEST_F(LspSources, CompletionSendsNoSnippetToAClientThatTakesNone) {
  client_.initialize();  // as Neovim 0.7: no snippetSupport
  open(train_uri_, train_text_);
  const json r = client_.request(
      "textDocument/completion",
      {{"textDocument", {{"uri", train_uri_}}},
       {"position", position(line_starting(train_text_, "segnale,   4600"), 3)}});
  bool station = false;
  for (const json& item : r["result"]["items"]) {
    EXPECT_EQ(item.value("insertTextFormat", 1), 1) << item;
    if (item["label"] != "stazione") continue;
    station = true;
    EXPECT_EQ(item["textEdit"]["newText"], "stazione, ");
  }
  EXPECT_TRUE(station);
}

// `text` (ASCII) with LSP TextEdits applied, the last first.
std::string applied(std::string text, const json& edits) {
  const auto offset = [&](const json& p) {
    std::size_t at = 0;
    for (int l = 0; l < p["line"].get<int>(); ++l) at = text.find('\n', at) + 1;
    return at + p["character"].get<std::size_t>();
  };
  std::vector<json> list(edits.begin(), edits.end());
  std::sort(list.begin(), list.end(), [&](const json& a, const json& b) {
    return offset(a["range"]["start"]) > offset(b["range"]["start"]);
  });
  for (const json& e : list) {
    const std::size_t from = offset(e["range"]["start"]);
    text.replace(from, offset(e["range"]["end"]) - from,
                 e["newText"].get<std::string>());
  }
  return text;
}

TEST_F(LspSources, QuickFixMendsAWarningAndFormattingLaysTheRowsOut) {
  client_.initialize();
  open(line_uri_, line_text_);
  std::string text = train_text_;
  text.replace(text.find("Stazione,   2750"), 8, "stazoine");
  text.replace(text.find("segnale,   4600"), 0, "   ");
  open(train_uri_, text);
  const int row = line_starting(text, "stazoine");
  const auto settled = [&] {
    client_.request("textDocument/documentSymbol",
                    {{"textDocument", {{"uri", train_uri_}}}});
    return client_.latest_diagnostics(train_uri_);
  };
  json d = settled();
  ASSERT_EQ(d.size(), 1u) << d;
  EXPECT_EQ(d[0]["code"], "unknown-keyword");

  const json actions = client_.request(
      "textDocument/codeAction",
      {{"textDocument", {{"uri", train_uri_}}},
       {"range", range(row, 0, 0)},
       {"context", {{"diagnostics", d}}}})["result"];
  ASSERT_EQ(actions.size(), 1u) << actions;
  EXPECT_EQ(actions[0]["kind"], "quickfix");
  EXPECT_EQ(actions[0]["diagnostics"][0]["code"], "unknown-keyword");
  const json& edits = actions[0]["edit"]["changes"][train_uri_];
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0]["range"], range(row, 0, 8));
  text = applied(text, edits);
  EXPECT_TRUE(text.find("stazione,   2750") != std::string::npos);
  change(train_uri_, 2, json::array({{{"text", text}}}));
  EXPECT_EQ(settled(), json::array());

  // Formatting lays the signals out again (one was moved in by blanks);
  // the lines of other sections are not touched, and formatting twice
  // changes nothing.
  const auto format = [&](const json& where) {
    json params = {{"textDocument", {{"uri", train_uri_}}},
                   {"options", {{"tabSize", 8}, {"insertSpaces", true}}}};
    if (!where.is_null()) params["range"] = where;
    return client_.request(where.is_null() ? "textDocument/formatting"
                                           : "textDocument/rangeFormatting",
                           params)["result"];
  };
  const int stations = line_starting(text, "stazione,      0");
  EXPECT_EQ(format(range(stations, 0, 5)), json::array());
  const json layout = format(nullptr);
  ASSERT_FALSE(layout.empty());
  for (const json& e : layout) {
    EXPECT_GT(e["range"]["start"]["line"], line_starting(text, "[segnali]"));
  }
  text = applied(text, layout);
  EXPECT_EQ(line_starting(text, "   segnale"), -1);
  change(train_uri_, 3, json::array({{{"text", text}}}));
  EXPECT_EQ(settled(), json::array());
  EXPECT_EQ(format(nullptr), json::array());
}

TEST_F(LspSources, HintsTokensAndDefinitionComeFromTheCompile) {
  client_.initialize();
  open(line_uri_, line_text_);
  std::string text = train_text_;
  // The second signal on the first one's cell: fault 16, which names it.
  text.replace(text.find("segnale,   2100"), 15, "segnale,   1000");
  open(train_uri_, text);
  const json hints =
      client_.request("textDocument/inlayHint",
                      {{"textDocument", {{"uri", train_uri_}}},
                       {"range", {{"start", position(0, 0)},
                                  {"end", position(200, 0)}}}})["result"];
  std::map<int, std::string> by_line;
  for (const json& h : hints) by_line[h["position"]["line"]] = h["label"];
  EXPECT_EQ(by_line[line_starting(text, "rallentamento")],
            "cell 187 · km 9.300");
  EXPECT_EQ(by_line[line_starting(text, "Stazione,   2750")],
            "cell 56 · km 2.750 · slot 2");
  // After the slow order's position, "rallentamento,  9300".
  const json& slow = *std::find_if(hints.begin(), hints.end(), [&](const json& h) {
    return h["position"]["line"] == line_starting(text, "rallentamento");
  });
  EXPECT_EQ(slow["position"]["character"], 20);

  const json tokens = client_.request("textDocument/semanticTokens/full",
                                      {{"textDocument", {{"uri", train_uri_}}}})
                          ["result"]["data"];
  ASSERT_EQ(tokens.size() % 5, 0u);
  // Only what the compile read: it stops at the fault-16 signal.
  std::map<int, int> of_type;
  for (std::size_t i = 0; i < tokens.size(); i += 5) ++of_type[tokens[i + 3]];
  EXPECT_GT(of_type[0], 40);   // keywords and headers
  EXPECT_GT(of_type[1], 300);  // numbers
  EXPECT_EQ(of_type[2], 16);   // the station names
  EXPECT_GT(of_type[3], 5);    // the title, the legends

  const int moved = line_starting(text, "segnale,   1000") + 1;
  const json where =
      client_.request("textDocument/definition",
                      {{"textDocument", {{"uri", train_uri_}}},
                       {"position", position(moved, 12)}})["result"];
  ASSERT_EQ(where.size(), 1u) << where;
  EXPECT_EQ(where[0]["uri"], train_uri_);
  EXPECT_EQ(where[0]["range"]["start"]["line"],
            line_starting(text, "segnale,   1000"));
}

// The lines of a view of cells, by the cell each one shows.
std::map<int, std::string> cell_lines(const std::string& view) {
  std::map<int, std::string> out;
  std::size_t at = 0;
  while (at < view.size()) {
    const std::size_t end = view.find('\n', at);
    const std::string line = view.substr(at, end - at);
    int cell = 0;
    if (std::sscanf(line.c_str() + (line.empty() ? 0 : 1), "%d", &cell) == 1 &&
        !line.empty() && (line[0] == '*' || line[0] == ' ')) {
      out[cell] = line;
    }
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return out;
}

TEST_F(LspSources, DefinitionLeadsFromASlowOrderToItsCells) {
  client_.initialize();
  open(line_uri_, line_text_);
  std::string text = train_text_;
  open(train_uri_, text);
  const int placed = line_starting(text, "rallentamento");
  const auto definition = [&](int line) {
    return client_.request("textDocument/definition",
                           {{"textDocument", {{"uri", train_uri_}}},
                            {"position", position(line, 3)}})["result"];
  };
  const json where = definition(placed);
  ASSERT_GT(where.size(), 10u) << where;
  const std::string uri = where[0]["uri"];
  ASSERT_TRUE(
      uri.starts_with("file://" + dir_.path().string() + "/scenarioc-lsp/"))
      << uri;
  const fs::path file = uri.substr(7);
  struct stat st {};
  ASSERT_EQ(::stat(file.parent_path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0400u);

  const std::string view = read_file(file);
  std::vector<std::string> lines;
  for (std::size_t at = 0; at <= view.size();) {
    const std::size_t end = std::min(view.find('\n', at), view.size());
    lines.push_back(view.substr(at, end - at));
    at = end + 1;
  }
  // The jump lands on the start cell first; every location is a flagged
  // line of the view, and every flagged line is a location.
  std::set<std::string> marked;
  for (const json& l : where) {
    EXPECT_EQ(l["uri"], uri);
    const std::size_t n = l["range"]["start"]["line"];
    ASSERT_LT(n, lines.size());
    marked.insert(lines[n]);
  }
  const std::string start = lines[where[0]["range"]["start"]["line"]];
  // Cell 187 holds 9300 m; 9275 and 9325 m round to cells 186 and 188.
  EXPECT_TRUE(start.starts_with("*  187     9276..9324     km 9.300  "))
      << start;
  EXPECT_NE(start.find("slow-order start"), std::string::npos) << start;
  EXPECT_NE(start.find("this slow order"), std::string::npos) << start;
  std::set<int> cells;
  for (const auto& [cell, line] : cell_lines(view)) {
    EXPECT_EQ(line[0] == '*', marked.count(line) == 1) << line;
    if (line[0] == '*') cells.insert(cell);
  }
  // The row's own cells (end, start, warning, four approach cells) and
  // the finishing pass's marks before the start and after the end.
  for (const int cell :
       {159, 160, 161, 162, 163, 169, 176, 182, 187, 188, 196}) {
    EXPECT_EQ(cells.count(cell), 1u) << cell << "\n" << view;
  }
  const std::map<int, std::string> by_cell = cell_lines(view);
  EXPECT_NE(by_cell.at(163).find("slow-order warning"), std::string::npos);
  EXPECT_NE(by_cell.at(182).find("abbattimento"), std::string::npos);
  EXPECT_NE(by_cell.at(182).find("the finishing pass, for this slow order"),
            std::string::npos)
      << by_cell.at(182);
  // Asked again, the same view in the same file.
  EXPECT_EQ(definition(placed), where);

  // A second slow order on the first one's cells, written before it: the
  // one compiled first places its marks, the other finds its warning cell
  // taken and places none, and leads nowhere.
  const std::string row = "rallentamento,  9300, 30, 50, 0, 1, 0";
  ASSERT_NE(text.find(row), std::string::npos);
  text.insert(text.find(row), row + "\r\n");
  change(train_uri_, 2, json::array({{{"text", text}}}));
  EXPECT_GE(definition(placed).size(), 8u);
  EXPECT_EQ(definition(placed + 1), json::array());
}

TEST(LspServer, WritesNoViewOfCellsIntoADirectoryOthersMayEnter) {
  TemporaryDirectory dir("scenarioc-lsp");
  ASSERT_FALSE(dir.path().empty());
  std::ofstream(dir.path() / "Firenze_Pisa_linea.txt", std::ios::binary)
      << embedded().line;
  fs::create_directory(dir.path() / "scenarioc-lsp");
  fs::permissions(dir.path() / "scenarioc-lsp", fs::perms::owner_all |
                                                    fs::perms::group_read |
                                                    fs::perms::group_exec);
  LspClient client({}, {{"XDG_RUNTIME_DIR", dir.path().string()}});
  ASSERT_TRUE(client.started());
  client.initialize();
  const std::string uri =
      "file://" + (dir.path() / "Firenze_Pisa_11711-.txt").string();
  const std::string text = cp1252_to_utf8(embedded().train);
  client.notify("textDocument/didOpen", {{"textDocument",
                                          {{"uri", uri},
                                           {"languageId", "scenario"},
                                           {"version", 1},
                                           {"text", text}}}});
  const json where = client.request(
      "textDocument/definition",
      {{"textDocument", {{"uri", uri}}},
       {"position",
        position(line_starting(text, "rallentamento"), 3)}})["result"];
  EXPECT_EQ(where, json::array());
  EXPECT_TRUE(fs::is_empty(dir.path() / "scenarioc-lsp"));
}

}  // namespace
}  // namespace scenc
