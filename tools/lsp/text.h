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
  static TextDocument from_disk(std::string_view bytes);

  const std::string& text() const { return text_; }
  FileEncoding encoding() const { return encoding_; }
  // The bytes the compiler reads: the text as the editor would write it.
  const std::string& source_bytes() const { return bytes_; }
  std::size_t line_count() const { return line_starts_.size(); }

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
  // The byte offset in `text_` of the client's place.
  std::size_t offset_of(const Position& p, PositionEncoding units) const;
  // The text of 0-based line `line`, without its line end.
  std::string_view line_text(std::size_t line) const;
  void refresh();

  std::string text_;
  FileEncoding encoding_;
  std::string bytes_;
  // Where each line of `text_` begins; a line ends at CR LF, CR or LF.
  std::vector<std::size_t> line_starts_;
};

// The field a check's place points at (1-based line, byte columns, an end
// column of 0 for one unknown), as the client counts it: from its column
// to the next comma or line end, trailing blanks left out, at least one
// character; a place without a line stands for the first line.
Range field_range(const TextDocument& text, std::int64_t line,
                  std::int64_t column, std::int64_t end_column,
                  PositionEncoding units);

}  // namespace scenc::lsp
