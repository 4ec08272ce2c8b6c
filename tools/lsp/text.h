// An open source as the editor holds it, and the mapping between the two
// ways of counting a place in it. The editor sends Unicode text (UTF-8 over
// the wire) and counts columns in UTF-16 code units (or in the unit the
// client and server agreed on); the compiler reads the bytes the file has on
// disk, single-byte Windows-1252 as the simulator reads them (or UTF-8, when
// the author's editor keeps the file so), and counts columns in bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace scenc::lsp {

// What the client counts a column in.
enum class PositionEncoding : std::uint8_t { kUtf16, kUtf8, kUtf32 };

// How the editor writes the text to disk, and so what the compiler reads.
enum class FileEncoding : std::uint8_t { kWindows1252, kUtf8 };

// A place as the client counts it: 0-based line and column.
struct Position {
  std::int64_t line = 0;
  std::int64_t character = 0;
  bool operator==(const Position&) const = default;
};

struct Range {
  Position start;
  Position end;
  bool operator==(const Range&) const = default;
};

class TextDocument {
 public:
  TextDocument() : TextDocument(std::string{}, FileEncoding::kWindows1252) {}
  TextDocument(std::string utf8, FileEncoding encoding);

  // The text on disk as an editor reading it would hold it: UTF-8 when the
  // bytes are valid UTF-8 with at least one character beyond ASCII, else
  // Windows-1252.
  static TextDocument from_disk(std::string bytes);

  const std::string& text() const { return text_; }
  FileEncoding encoding() const { return encoding_; }
  // The bytes the compiler reads: the text as the editor would write it.
  const std::string& source_bytes() const {
    return encoding_ == FileEncoding::kUtf8 ? text_ : bytes_;
  }
  // The bytes of 1-based `line` of the source bytes, without its line end;
  // empty beyond the last line.
  std::string source_line(std::int64_t line) const;
  std::size_t line_count() const { return line_count_; }

  // Replaces `range` of the text with `utf8` (an incremental change).
  void replace(const Range& range, std::string_view utf8,
               PositionEncoding units);
  void set_text(std::string utf8);

  // A 1-based line and byte column of the source bytes (the compiler's
  // count; column 0 or beyond the line stands for its end) as the client
  // counts it.
  Position to_client(std::int64_t line, std::int64_t byte_column,
                     PositionEncoding units) const;
  // The client's place as a 1-based line and byte column of the source
  // bytes. Places beyond a line or the text are taken back to its end.
  std::pair<std::int64_t, std::int64_t> to_source(
      const Position& p, PositionEncoding units) const;
  // The end of 1-based `line`, as the client counts it.
  Position line_end(std::int64_t line, PositionEncoding units) const;

 private:
  TextDocument(std::string utf8, std::string cp1252);
  // The byte offset in `text_` of the client's place.
  std::size_t offset_of(const Position& p, PositionEncoding units) const;
  // Where 0-based line `line` of `text_` begins; the text's size beyond
  // the last line.
  std::size_t line_start(std::size_t line) const;
  // The text of 0-based line `line`, without its line end.
  std::string_view line_text(std::size_t line) const;
  // The source bytes and the marks of the lines, once the text changed.
  void refresh();

  // A line ends at CR LF, CR or LF. Where every 16th line begins is kept,
  // and a line found from the mark before it: a source of nothing but line
  // ends costs half a byte per line, not eight.
  static constexpr std::size_t kLinesPerMark = 16;

  std::string text_;
  FileEncoding encoding_;
  // The source bytes of a Windows-1252 source; a UTF-8 source's are its
  // text.
  std::string bytes_;
  std::size_t line_count_ = 1;
  std::vector<std::size_t> marks_;  // where lines 0, 16, 32, ... begin
};

// The field a check's place points at (1-based line, byte columns, an end
// column of 0 for one unknown), as the client counts it: from its column
// to the next comma or line end, trailing blanks left out, at least one
// character; a place without a line stands for the first line.
Range field_range(const TextDocument& text, std::int64_t line,
                  std::int64_t column, std::int64_t end_column,
                  PositionEncoding units);

}  // namespace scenc::lsp
