#include "compiler/field_reader.h"

namespace scenc {
namespace {

bool ends_unquoted_text(char c) { return c == ',' || c == '\r' || c == '\n'; }
bool ends_number(char c) { return c == ',' || c == ' ' || c == '\r' || c == '\n'; }

}  // namespace

NumberToken parse_number_token(std::string_view token) {
  using Kind = NumberToken::Kind;
  if (token.empty()) return {Kind::kEmpty, 0};
  bool negative = false;
  std::size_t i = 0;
  if (token[0] == '+' || token[0] == '-') {
    negative = token[0] == '-';
    i = 1;
  }
  // A lone sign reads as 0, like an empty field.
  if (i == token.size()) return {Kind::kEmpty, 0};
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;
  std::uint64_t magnitude = 0;
  bool too_large = false;
  for (; i < token.size(); ++i) {
    const char c = token[i];
    if (c < '0' || c > '9') return {Kind::kNotNumber, 0};
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (magnitude > (kLimit - digit) / 10) too_large = true;
    if (!too_large) magnitude = magnitude * 10 + digit;
  }
  if (too_large || (!negative && magnitude == kLimit)) {
    return {Kind::kTooLarge, 0};
  }
  if (negative) {
    return {Kind::kNumber, magnitude == kLimit
                               ? std::numeric_limits<std::int64_t>::min()
                               : -static_cast<std::int64_t>(magnitude)};
  }
  return {Kind::kNumber, static_cast<std::int64_t>(magnitude)};
}

void FieldReader::skip_blanks() {
  while (pos_ < bytes_.size() && bytes_[pos_] == ' ') ++pos_;
}

void FieldReader::consume_line_end() {
  if (bytes_[pos_] == '\r' && pos_ + 1 < bytes_.size() &&
      bytes_[pos_ + 1] == '\n') {
    ++pos_;
  }
  ++pos_;
  ++line_;
  line_start_ = pos_;
}

void FieldReader::consume_separator() {
  if (pos_ >= bytes_.size()) return;
  if (bytes_[pos_] == ',') {
    ++pos_;
  } else if (at_line_end()) {
    consume_line_end();
  }
}

void FieldReader::begin_field() {
  field_line_ = line_;
  field_column_ = column();
  field_begin_ = pos_;
}

void FieldReader::advance_over(std::size_t end) {
  // A quoted field may run over millions of lines: its line ends are counted
  // in one pass (CR LF is one line end, a lone CR or LF one each), and the
  // line then in progress began after the last of them.
  if (pos_ >= end) return;
  const char* const b = bytes_.data();
  std::int64_t ends = 0;
  char before = '\0';
  for (std::size_t i = pos_; i < end; ++i) {
    const char c = b[i];
    ends +=
        static_cast<std::int64_t>(c == '\r' || (c == '\n' && before != '\r'));
    before = c;
  }
  std::size_t i = end;
  while (i > pos_ && b[i - 1] != '\r' && b[i - 1] != '\n') --i;
  pos_ = end;
  line_ += ends;
  if (ends > 0) line_start_ = i;
  // A CR that ends the run takes the LF right after it with it.
  if (before == '\r' && pos_ < bytes_.size() && b[pos_] == '\n') {
    line_start_ = ++pos_;
  }
}

std::string_view FieldReader::read_text_field() {
  if (at_end()) throw past_end_failure();
  skip_blanks();
  begin_field();
  const std::size_t size = bytes_.size();
  if (pos_ < size && bytes_[pos_] == '"') {
    const std::size_t start = pos_ + 1;
    const std::size_t close = bytes_.find('"', start);
    if (close == std::string_view::npos) {
      // An unclosed quote runs to the end of the source.
      const std::string_view field = bytes_.substr(start);
      advance_over(size);
      field_end_ = pos_;
      return field;
    }
    const std::string_view field = bytes_.substr(start, close - start);
    advance_over(close + 1);
    while (pos_ < size && !ends_unquoted_text(bytes_[pos_])) ++pos_;
    field_end_ = pos_;
    consume_separator();
    return field;
  }
  const std::size_t start = pos_;
  while (pos_ < size && !ends_unquoted_text(bytes_[pos_])) ++pos_;
  const std::string_view field = bytes_.substr(start, pos_ - start);
  field_end_ = pos_;
  consume_separator();
  return field;
}

std::optional<std::int64_t> FieldReader::read_number_field() {
  const NumberToken token = parse_number_token(read_number_token());
  if (token.kind == NumberToken::Kind::kTooLarge) return std::nullopt;
  return token.value;
}

std::string_view FieldReader::read_number_token() {
  if (at_end()) throw past_end_failure();
  skip_blanks();
  begin_field();
  const std::size_t size = bytes_.size();
  const std::size_t start = pos_;
  while (pos_ < size && !ends_number(bytes_[pos_])) ++pos_;
  field_end_ = pos_;
  const std::string_view token = bytes_.substr(start, pos_ - start);
  if (pos_ < size && bytes_[pos_] == ' ') {
    // Blanks after a number, and one comma right after them, belong to it;
    // a line end does not.
    skip_blanks();
    if (pos_ < size && bytes_[pos_] == ',') ++pos_;
  } else {
    consume_separator();
  }
  return token;
}

}  // namespace scenc
