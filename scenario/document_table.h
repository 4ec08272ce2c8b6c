// The document table through which every text the scenario writes passes:
// 1001 positions of lines, filled from position 0 without gaps, closed by the
// end marker in the position after the last line. Writing a document puts
// out each line followed by CR LF, up to the end marker, which is never
// written. The texts are fixed, so a table is filled, and its bytes laid
// out, when the program is built: a text that would not fit is a build
// error, not a run-time surprise.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace scenc {

// The end marker that closes every document table; never written to a file.
inline constexpr std::string_view kEndMarker = "riferimento fine del file";

// Positions of a document table; the last one is left for the end marker,
// so a document has at most 1000 lines.
inline constexpr std::size_t kDocumentPositions = 1001;

// Why `text` cannot fill a document table, or nullptr when it can. The text
// holds the document's lines, each ended by a line feed (the line ends on
// disk are CR LF, added on writing).
constexpr const char* document_text_fault(std::string_view text) {
  if (!text.empty() && text.back() != '\n') {
    return "the last line has no line feed";
  }
  if (text.find('\r') != std::string_view::npos) {
    return "a carriage return inside the text";
  }
  std::size_t lines = 0;
  for (std::size_t start = 0; start < text.size(); ++lines) {
    const std::size_t end = text.find('\n', start);
    // A line equal to the marker would end the document early when written.
    if (text.substr(start, end - start) == kEndMarker) {
      return "a line equal to the end marker";
    }
    start = end + 1;
  }
  if (lines >= kDocumentPositions) return "more than 1000 lines";
  return nullptr;
}

// A fixed text as held in the code: a raw literal that opens with a line
// break, so that its first line stands at the left margin like the others.
consteval std::string_view listing(std::string_view raw) {
  if (raw.empty() || raw.front() != '\n')
    throw "a listing opens with a line break";
  return raw.substr(1);
}

class DocumentTable {
 public:
  // Fills the table with the lines of `text` (see document_text_fault) and
  // the end marker after them.
  consteval explicit DocumentTable(std::string_view text) {
    // A throw here stops the build; document_text_fault names the reason.
    if (document_text_fault(text) != nullptr) throw document_text_fault(text);
    std::size_t position = 0;
    for (std::size_t start = 0; start < text.size(); ++position) {
      const std::size_t end = text.find('\n', start);
      lines_[position] = text.substr(start, end - start);
      start = end + 1;
    }
    lines_[position] = kEndMarker;
  }

  // The bytes the table writes: every line exactly as stored, blanks
  // included, each followed by CR LF, from position 0 up to the end marker.
  consteval std::size_t written_size() const {
    std::size_t size = 0;
    for (std::size_t position = 0; lines_[position] != kEndMarker; ++position) {
      size += lines_[position].size() + 2;
    }
    return size;
  }
  template <std::size_t N>
  consteval std::array<char, N> written() const {
    std::array<char, N> bytes{};
    std::size_t at = 0;
    for (std::size_t position = 0; lines_[position] != kEndMarker; ++position) {
      for (const char c : lines_[position]) bytes[at++] = c;
      bytes[at++] = '\r';
      bytes[at++] = '\n';
    }
    return bytes;
  }

 private:
  std::array<std::string_view, kDocumentPositions> lines_{};
};

// The bytes the table of `Text` writes, laid out when the program is built.
// A document then lies in the program as plain bytes: no table of pointers
// to relocate at every start (five tables of 1001 positions were twenty
// pages written before the first line of main), and writing it is one copy.
template <const std::string_view& Text>
consteval auto written_document() {
  constexpr DocumentTable table{Text};
  return table.written<table.written_size()>();
}

}  // namespace scenc
