#include "tools/lsp/text.h"

#include <algorithm>
#include <cstring>

#include "model/cp1252.h"

namespace scenc::lsp {
namespace {

// One character of a line: how many units the client and the compiler
// count for it. A byte that is not well-formed UTF-8 counts as one of each.
struct Widths {
  std::size_t text = 1;    // bytes of the UTF-8 text
  std::int64_t client = 1;
  std::int64_t source = 1;
};

Widths widths_at(std::string_view line, PositionEncoding units,
                 FileEncoding encoding) {
  const Utf8Character c = decode_utf8(line);
  const char32_t cp = c.code_point;
  const std::size_t n = std::max<std::size_t>(c.size, 1);
  Widths w;
  w.text = n;
  switch (units) {
    case PositionEncoding::kUtf16:
      w.client = cp >= 0x10000 ? 2 : 1;
      break;
    case PositionEncoding::kUtf8:
      w.client = static_cast<std::int64_t>(n);
      break;
    case PositionEncoding::kUtf32:
      w.client = 1;
      break;
  }
  // Windows-1252 holds each character in one byte ("?" for those it lacks).
  w.source = encoding == FileEncoding::kUtf8 ? static_cast<std::int64_t>(n) : 1;
  return w;
}

}  // namespace

TextDocument::TextDocument(std::string utf8, FileEncoding encoding)
    : text_(std::move(utf8)), encoding_(encoding) {
  refresh();
}

TextDocument::TextDocument(std::string utf8, std::string cp1252)
    : text_(std::move(utf8)),
      encoding_(FileEncoding::kWindows1252),
      bytes_(std::move(cp1252)) {
  refresh();
}

TextDocument TextDocument::from_disk(std::string bytes) {
  if (holds_utf8(bytes))
    return TextDocument(std::move(bytes), FileEncoding::kUtf8);
  // Every byte of the code page comes back from its character as itself:
  // the bytes on disk are already what the text would be written as.
  std::string text = cp1252_to_utf8(bytes);
  return TextDocument(std::move(text), std::move(bytes));
}

void TextDocument::set_text(std::string utf8) {
  text_ = std::move(utf8);
  bytes_.clear();
  refresh();
}

void TextDocument::refresh() {
  if (encoding_ == FileEncoding::kWindows1252 && bytes_.empty()) {
    bytes_ = utf8_to_cp1252(text_);
  }
  marks_.assign(1, 0);
  line_count_ = 1;
  const std::size_t size = text_.size();
  for (std::size_t i = 0; i < size; ++i) {
    const char c = text_[i];
    if (c != '\r' && c != '\n') continue;
    if (c == '\r' && i + 1 < size && text_[i + 1] == '\n') ++i;
    if (line_count_ % kLinesPerMark == 0) marks_.push_back(i + 1);
    ++line_count_;
  }
}

namespace {

// Where the line that goes on at `at` ends: its first CR or LF, else the
// end of the text. Searched a window at a time for each of the two bytes,
// which the C library does in a few instructions per 32 bytes, where a
// search for either of two bytes takes several per byte; the windows keep
// a file of one line end only from being searched to its end for the
// other. Requests that place many edits or hints find their lines so, up
// to 15 lines from a mark.
std::size_t line_end_from(std::string_view text, std::size_t at) {
  constexpr std::size_t kWindow = 256;
  while (at < text.size()) {
    const std::size_t size = std::min(kWindow, text.size() - at);
    const char* const window = text.data() + at;
    const auto* lf = static_cast<const char*>(std::memchr(window, '\n', size));
    const std::size_t before_lf =
        lf ? static_cast<std::size_t>(lf - window) : size;
    if (const auto* cr =
            static_cast<const char*>(std::memchr(window, '\r', before_lf))) {
      return at + static_cast<std::size_t>(cr - window);
    }
    if (lf) return at + before_lf;
    at += size;
  }
  return text.size();
}

}  // namespace

std::size_t TextDocument::line_start(std::size_t line) const {
  if (line >= line_count_) return text_.size();
  std::size_t at = marks_[line / kLinesPerMark];
  for (std::size_t n = line % kLinesPerMark; n > 0; --n) {
    const std::size_t end = line_end_from(text_, at);
    const bool crlf =
        text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n';
    at = end + (crlf ? 2 : 1);
  }
  return at;
}

std::string_view TextDocument::line_text(std::size_t line) const {
  const std::size_t begin = line_start(line);
  const std::size_t end = line_end_from(text_, begin);
  return std::string_view(text_).substr(begin, end - begin);
}

std::string TextDocument::source_line(std::int64_t line) const {
  if (line < 1 || static_cast<std::size_t>(line) > line_count_) return {};
  const std::string_view text = line_text(static_cast<std::size_t>(line) - 1);
  return encoding_ == FileEncoding::kUtf8 ? std::string(text)
                                          : utf8_to_cp1252(text);
}

std::size_t TextDocument::offset_of(const Position& p,
                                    PositionEncoding units) const {
  if (p.line < 0) return 0;
  if (static_cast<std::size_t>(p.line) >= line_count_) return text_.size();
  const std::string_view line = line_text(static_cast<std::size_t>(p.line));
  std::size_t at = 0;
  std::int64_t counted = 0;
  while (at < line.size()) {
    const Widths w = widths_at(line.substr(at), units, encoding_);
    // A place inside a character (half of a surrogate pair) is its start.
    if (counted + w.client > p.character) break;
    counted += w.client;
    at += w.text;
  }
  return static_cast<std::size_t>(line.data() - text_.data()) + at;
}

void TextDocument::replace(const Range& range, std::string_view utf8,
                           PositionEncoding units) {
  std::size_t begin = offset_of(range.start, units);
  std::size_t end = offset_of(range.end, units);
  if (end < begin) std::swap(begin, end);
  text_.replace(begin, end - begin, utf8);
  bytes_.clear();
  refresh();
}

Position TextDocument::to_client(std::int64_t line, std::int64_t byte_column,
                                 PositionEncoding units) const {
  const std::size_t index = static_cast<std::size_t>(std::clamp<std::int64_t>(
      line - 1, 0, static_cast<std::int64_t>(line_count_) - 1));
  const std::string_view text = line_text(index);
  Position p{static_cast<std::int64_t>(index), 0};
  std::int64_t bytes = 0;
  for (std::size_t at = 0; at < text.size();) {
    const Widths w = widths_at(text.substr(at), units, encoding_);
    if (byte_column >= 1 && bytes + w.source > byte_column - 1) break;
    bytes += w.source;
    p.character += w.client;
    at += w.text;
  }
  if (byte_column < 1) p.character = 0;
  return p;
}

std::pair<std::int64_t, std::int64_t> TextDocument::to_source(
    const Position& p, PositionEncoding units) const {
  Position at = p;
  if (at.line < 0) at = {0, 0};
  if (static_cast<std::size_t>(at.line) >= line_count_) {
    at = line_end(static_cast<std::int64_t>(line_count_), units);
  }
  const std::size_t index = static_cast<std::size_t>(at.line);
  const std::string_view text = line_text(index);
  std::int64_t column = 1;
  std::int64_t counted = 0;
  for (std::size_t i = 0; i < text.size();) {
    const Widths w = widths_at(text.substr(i), units, encoding_);
    if (counted + w.client > at.character) break;
    counted += w.client;
    column += w.source;
    i += w.text;
  }
  return {static_cast<std::int64_t>(index) + 1, column};
}

Position TextDocument::line_end(std::int64_t line,
                                PositionEncoding units) const {
  const std::size_t index = static_cast<std::size_t>(std::clamp<std::int64_t>(
      line - 1, 0, static_cast<std::int64_t>(line_count_) - 1));
  const std::string_view text = line_text(index);
  Position p{static_cast<std::int64_t>(index), 0};
  for (std::size_t at = 0; at < text.size();) {
    const Widths w = widths_at(text.substr(at), units, encoding_);
    p.character += w.client;
    at += w.text;
  }
  return p;
}

Range field_range(const TextDocument& text, std::int64_t line,
                  std::int64_t column, std::int64_t end_column,
                  PositionEncoding units) {
  if (line < 1) return {{0, 0}, text.line_end(1, units)};
  if (column < 1) return {text.to_client(line, 1, units),
                          text.line_end(line, units)};
  std::int64_t end = end_column;
  if (end <= column) {
    const std::string bytes = text.source_line(line);
    const std::size_t from =
        std::min(static_cast<std::size_t>(column - 1), bytes.size());
    std::size_t to = std::min(bytes.find(',', from), bytes.size());
    while (to > from && bytes[to - 1] == ' ') --to;
    end = column + static_cast<std::int64_t>(std::max<std::size_t>(to - from, 1));
  }
  return {text.to_client(line, column, units), text.to_client(line, end, units)};
}


}  // namespace scenc::lsp
