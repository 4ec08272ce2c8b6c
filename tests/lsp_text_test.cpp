// The language server's two counts of a place in a source (the editor's
// UTF-16 units, the compiler's bytes on disk) and its framing of messages,
// in process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/lsp/framing.h"
#include "tools/lsp/text.h"

namespace scenc::lsp {
namespace {

// ---- Columns --------------------------------------------------------------

// "a" then a letter with an accent (2 bytes in UTF-8, 1 in Windows-1252), the
// euro sign (3 and 1), a face (4 bytes in UTF-8, 2 UTF-16 units, "?" in
// Windows-1252), then "z".
const std::string kLine = "a\xC3\xA0\xE2\x82\xAC\xF0\x9F\x98\x80z";

TEST(LspText, MapsColumnsBetweenTheEditorAndTheBytesOnDisk) {
  const struct {
    FileEncoding file;
    PositionEncoding units;
    // The client's column of each character, and its byte column on disk.
    std::vector<std::pair<int, int>> places;
  } cases[] = {
      {FileEncoding::kWindows1252, PositionEncoding::kUtf16,
       {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {5, 5}, {6, 6}}},
      {FileEncoding::kWindows1252, PositionEncoding::kUtf8,
       {{0, 1}, {1, 2}, {3, 3}, {6, 4}, {10, 5}, {11, 6}}},
      {FileEncoding::kWindows1252, PositionEncoding::kUtf32,
       {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}}},
      {FileEncoding::kUtf8, PositionEncoding::kUtf16,
       {{0, 1}, {1, 2}, {2, 4}, {3, 7}, {5, 11}, {6, 12}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.file) * 10 + static_cast<int>(c.units));
    const TextDocument text("x\r\n" + kLine + "\r\n", c.file);
    for (const auto& [client, byte] : c.places) {
      EXPECT_EQ(text.to_client(2, byte, c.units), (Position{1, client}));
      EXPECT_EQ(text.to_source({1, client}, c.units), (std::pair<std::int64_t, std::int64_t>{2, byte}));
    }
  }
  const TextDocument text("x\r\n" + kLine + "\r\n", FileEncoding::kWindows1252);
  EXPECT_EQ(text.source_bytes(), "x\r\na\xE0\x80?z\r\n");
  // Inside the face's surrogate pair: its start. Beyond the line: its end.
  EXPECT_EQ(text.to_source({1, 4}, PositionEncoding::kUtf16).second, 4);
  EXPECT_EQ(text.to_source({1, 99}, PositionEncoding::kUtf16).second, 6);
  EXPECT_EQ(text.to_client(2, 99, PositionEncoding::kUtf16), (Position{1, 6}));
  // Beyond the last line: the end of the text, which ends on an empty line.
  EXPECT_EQ(text.to_source({7, 0}, PositionEncoding::kUtf16),
            (std::pair<std::int64_t, std::int64_t>{3, 1}));
}

TEST(LspText, FindsEveryLineWhateverItsLengthAndItsEnd) {
  // Lines longer and shorter than the windows a line's end is searched
  // in, with every kind of end and more than 16 of them to pass the marks.
  const std::string ends[] = {"\r\n", "\n", "\r"};
  const std::size_t lengths[] = {0, 3, 255, 256, 257, 700};
  for (const std::string& only :
       {std::string(), std::string("\r"), std::string("\n")}) {
    std::string whole;
    std::vector<std::string> lines;
    for (int i = 0; i < 40; ++i) {
      lines.push_back(
          std::string(lengths[i % 6], static_cast<char>('a' + i % 26)));
      whole += lines.back() + (only.empty() ? ends[i % 3] : only);
    }
    const TextDocument text(whole, FileEncoding::kWindows1252);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const auto line = static_cast<std::int64_t>(i) + 1;
      EXPECT_EQ(text.source_line(line), lines[i]) << i;
      EXPECT_EQ(
          text.line_end(line, PositionEncoding::kUtf16),
          (Position{line - 1, static_cast<std::int64_t>(lines[i].size())}))
          << i;
    }
  }
}

TEST(LspText, AppliesIncrementalChangesAcrossLines) {
  TextDocument text("uno\r\ndue\ntre\rquattro", FileEncoding::kWindows1252);
  EXPECT_EQ(text.line_count(), 4u);
  text.replace({{0, 1}, {2, 1}}, "X", PositionEncoding::kUtf16);
  EXPECT_EQ(text.text(), "uXre\rquattro");
  // An insertion, a change given end first, one beyond the text.
  text.replace({{1, 0}, {1, 0}}, "\xE2\x82\xAC", PositionEncoding::kUtf16);
  text.replace({{0, 2}, {0, 1}}, "", PositionEncoding::kUtf16);
  text.replace({{5, 0}, {9, 9}}, "!", PositionEncoding::kUtf16);
  EXPECT_EQ(text.text(), "ure\r\xE2\x82\xAC" "quattro!");
  EXPECT_EQ(text.source_bytes(), "ure\r\x80quattro!");
  // Splitting a CR LF leaves two line ends.
  TextDocument crlf("a\r\nb", FileEncoding::kWindows1252);
  crlf.replace({{0, 1}, {0, 1}}, "\r", PositionEncoding::kUtf16);
  EXPECT_EQ(crlf.line_count(), 3u);
}

TEST(LspText, ReadsDiskBytesAsAnEditorWould) {
  std::string every_byte;
  for (int b = 0; b < 256; ++b) every_byte += static_cast<char>(b);
  const TextDocument cp1252 = TextDocument::from_disk(every_byte);
  EXPECT_EQ(cp1252.encoding(), FileEncoding::kWindows1252);
  EXPECT_EQ(cp1252.source_bytes(), every_byte);
  const TextDocument utf8 = TextDocument::from_disk("citt\xC3\xA0");
  EXPECT_EQ(utf8.encoding(), FileEncoding::kUtf8);
  EXPECT_EQ(utf8.source_bytes(), "citt\xC3\xA0");
}

// ---- Framing --------------------------------------------------------------

std::vector<Frame> frames_of(const std::string& bytes, std::size_t chunk) {
  MessageReader reader;
  std::vector<Frame> out;
  for (std::size_t at = 0; at < bytes.size(); at += chunk) {
    reader.feed(std::string_view(bytes).substr(at, chunk));
    while (auto f = reader.next()) out.push_back(std::move(*f));
  }
  return out;
}

TEST(LspFraming, ReadsMessagesHoweverTheBytesArrive) {
  const std::string bytes =
      frame("{\"a\":1}") + "\r\n" +  // a stray line end between messages
      "content-length: 2\nContent-Type: application/vscode-jsonrpc\n\n[]" +
      "Bogus\r\n\r\n" + frame("{\"b\":2}");
  for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, bytes.size()}) {
    SCOPED_TRACE(chunk);
    const std::vector<Frame> f = frames_of(bytes, chunk);
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f[0].content, "{\"a\":1}");
    EXPECT_EQ(f[1].content, "[]");
    EXPECT_TRUE(f[2].malformed);
    EXPECT_EQ(f[3].content, "{\"b\":2}");
  }
}

}  // namespace
}  // namespace scenc::lsp
