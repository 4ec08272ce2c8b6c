#include "tools/lsp/text.h"

#include <algorithm>

#include "model/cp1252.h"

namespace scenc::lsp {
namespace {

// The length of the UTF-8 sequence at the front of `s` and its code point;
// 0 when the bytes there are not a well-formed sequence.
std::size_t decode(std::string_view s, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t n = 0;
  char32_t least = 0;
  if ((b0 & 0xE0) == 0xC0) {
    n = 2, cp = b0 & 0x1F, least = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    n = 3, cp = b0 & 0x0F, least = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    n = 4, cp = b0 & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

bool is_utf8_beyond_ascii(std::string_view s) {
  bool beyond = false;
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp = 0;
    const std::size_t n = decode(s.substr(i), cp);
    if (n == 0) return false;
    beyond = beyond || n > 1;
    i += n;
  }
  return beyond;
}

// One character of a line: how many units the client and the compiler
// count for it. A byte that is not well-formed UTF-8 counts as one of each.
struct Widths {
  std::size_t text = 1;    // bytes of the UTF-8 text
  std::int64_t client = 1;
  std::int64_t source = 1;
};

Widths widths_at(std::string_view line, PositionEncoding units,
                 FileEncoding encoding) {
  char32_t cp = 0;
  const std::size_t n = std::max<std::size_t>(decode(line, cp), 1);
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

TextDocument TextDocument::from_disk(std::string_view bytes) {
  if (is_utf8_beyond_ascii(bytes)) {
    return TextDocument(std::string(bytes), FileEncoding::kUtf8);
  }
  return TextDocument(cp1252_to_utf8(bytes), FileEncoding::kWindows1252);
}

void TextDocument::set_text(std::string utf8) {
  text_ = std::move(utf8);
  refresh();
}

void TextDocument::refresh() {
  bytes_ = encoding_ == FileEncoding::kUtf8 ? text_ : utf8_to_cp1252(text_);
  line_starts_.assign(1, 0);
  for (std::size_t i = 0; i < text_.size(); ++i) {
    if (text_[i] == '\r' && i + 1 < text_.size() && text_[i + 1] == '\n') ++i;
    if (text_[i] == '\r' || text_[i] == '\n') line_starts_.push_back(i + 1);
  }
}

std::string_view TextDocument::line_text(std::size_t line) const {
  const std::size_t begin = line_starts_[line];
  std::size_t end = line + 1 < line_starts_.size() ? line_starts_[line + 1]
                                                   : text_.size();
  while (end > begin && (text_[end - 1] == '\n' || text_[end - 1] == '\r')) {
    --end;
  }
  return std::string_view(text_).substr(begin, end - begin);
}

std::size_t TextDocument::offset_of(const Position& p,
                                    PositionEncoding units) const {
  if (p.line < 0) return 0;
  if (static_cast<std::size_t>(p.line) >= line_starts_.size()) {
    return text_.size();
  }
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
  return line_starts_[static_cast<std::size_t>(p.line)] + at;
}

void TextDocument::replace(const Range& range, std::string_view utf8,
                           PositionEncoding units) {
  std::size_t begin = offset_of(range.start, units);
  std::size_t end = offset_of(range.end, units);
  if (end < begin) std::swap(begin, end);
  text_.replace(begin, end - begin, utf8);
  refresh();
}

Position TextDocument::to_client(std::int64_t line, std::int64_t byte_column,
                                 PositionEncoding units) const {
  const std::size_t index = static_cast<std::size_t>(std::clamp<std::int64_t>(
      line - 1, 0, static_cast<std::int64_t>(line_starts_.size()) - 1));
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
  if (static_cast<std::size_t>(at.line) >= line_starts_.size()) {
    at = line_end(static_cast<std::int64_t>(line_starts_.size()), units);
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
      line - 1, 0, static_cast<std::int64_t>(line_starts_.size()) - 1));
  const std::string_view text = line_text(index);
  Position p{static_cast<std::int64_t>(index), 0};
  for (std::size_t at = 0; at < text.size();) {
    const Widths w = widths_at(text.substr(at), units, encoding_);
    p.character += w.client;
    at += w.text;
  }
  return p;
}

// The field a place points at in the source bytes: from its column to the
// next comma or line end, trailing blanks left out; at least one character.
Range field_range(const TextDocument& text, std::int64_t line,
                  std::int64_t column, std::int64_t end_column,
                  PositionEncoding units) {
  if (line < 1) return {{0, 0}, text.line_end(1, units)};
  if (column < 1) return {text.to_client(line, 1, units),
                          text.line_end(line, units)};
  std::int64_t end = end_column;
  if (end <= column) {
    const std::string& bytes = text.source_bytes();
    // The byte where the line begins: walk from the start of the text.
    std::size_t at = 0;
    for (std::int64_t l = 1; l < line && at < bytes.size(); ++at) {
      if (bytes[at] == '\n' ||
          (bytes[at] == '\r' && (at + 1 >= bytes.size() || bytes[at + 1] != '\n'))) {
        ++l;
      }
    }
    std::size_t from = at + static_cast<std::size_t>(column - 1);
    std::size_t to = from;
    while (to < bytes.size() && bytes[to] != ',' && bytes[to] != '\r' &&
           bytes[to] != '\n') {
      ++to;
    }
    while (to > from && bytes[to - 1] == ' ') --to;
    end = column + static_cast<std::int64_t>(std::max<std::size_t>(to - from, 1));
  }
  return {text.to_client(line, column, units), text.to_client(line, end, units)};
}


}  // namespace scenc::lsp
