#include "tools/lsp/framing.h"

#include <algorithm>
#include <cctype>

namespace scenc::lsp {
namespace {

constexpr std::string_view kContentLength = "content-length";

bool same_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Where "Content-Length" begins in `text` from `from` on, in any case.
std::size_t find_content_length(std::string_view text, std::size_t from) {
  for (std::size_t i = from; i + kContentLength.size() <= text.size(); ++i) {
    if (same_ignoring_case(text.substr(i, kContentLength.size()),
                           kContentLength)) {
      return i;
    }
  }
  return std::string_view::npos;
}

bool is_token(std::string_view name) {
  return !name.empty() &&
         std::all_of(name.begin(), name.end(), [](char c) {
           return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
         });
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
    s.remove_suffix(1);
  }
  return s;
}

// A length of decimal digits that is not above the largest content.
std::optional<std::size_t> parse_length(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  std::size_t n = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<std::size_t>(c - '0');
    if (n > kLargestContent) return std::nullopt;
  }
  return n;
}

}  // namespace

void MessageReader::feed(std::string_view bytes) { buffer_.append(bytes); }

void MessageReader::compact() {
  if (pos_ > 0 && (pos_ >= buffer_.size() || pos_ > (1u << 16))) {
    buffer_.erase(0, pos_);
    pos_ = 0;
  }
}

bool MessageReader::read_header(std::string& reason) {
  const std::string_view text(buffer_);
  std::size_t at = pos_;
  // Empty lines between messages are no header.
  while (at < text.size() && (text[at] == '\r' || text[at] == '\n')) ++at;
  pos_ = at;
  std::optional<std::size_t> length;
  bool length_bad = false;
  while (true) {
    const std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) {
      if (text.size() - pos_ > kLongestHeader) reason = "header too long";
      return false;
    }
    if (end + 1 - pos_ > kLongestHeader) {
      reason = "header too long";
      return false;
    }
    std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    at = end + 1;
    if (line.empty()) break;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !is_token(line.substr(0, colon))) {
      reason = "a header line is not a field";
      return false;
    }
    if (same_ignoring_case(line.substr(0, colon), kContentLength)) {
      length = parse_length(trimmed(line.substr(colon + 1)));
      length_bad = !length;
    }
    // Content-Type and any other field are read and ignored: the content is
    // always JSON in UTF-8.
  }
  pos_ = at;
  if (length_bad) {
    reason = "Content-Length is not a length of at most " +
             std::to_string(kLargestContent) + " bytes";
    return false;
  }
  if (!length) {
    reason = "header without Content-Length";
    return false;
  }
  content_length_ = length;
  return true;
}

std::optional<Frame> MessageReader::next() {
  while (true) {
    if (content_length_) {
      if (buffer_.size() - pos_ < *content_length_) return std::nullopt;
      Frame f{false, buffer_.substr(pos_, *content_length_)};
      pos_ += *content_length_;
      content_length_.reset();
      compact();
      return f;
    }
    if (skipping_) {
      const std::size_t found = find_content_length(buffer_, pos_);
      if (found == std::string::npos) {
        // Keep the tail, which may be the start of the field's name.
        const std::size_t keep = kContentLength.size() - 1;
        if (buffer_.size() > pos_ + keep) pos_ = buffer_.size() - keep;
        compact();
        return std::nullopt;
      }
      pos_ = found;
      skipping_ = false;
    }
    std::string reason;
    if (read_header(reason)) continue;
    if (reason.empty()) return std::nullopt;
    // Skip at least one byte, so that a header that fails on its own field
    // is not read again.
    if (pos_ < buffer_.size()) ++pos_;
    skipping_ = true;
    return Frame{true, reason};
  }
}

std::string frame(std::string_view content) {
  std::string out = "Content-Length: " + std::to_string(content.size()) +
                    "\r\n\r\n";
  out.append(content);
  return out;
}

}  // namespace scenc::lsp
