// The base protocol of the language server: each message is a header of
// "Name: value" fields, each ended by CR LF, an empty line, and then exactly
// Content-Length bytes of JSON. The reader takes bytes as they arrive and
// hands out whole messages; it holds a bounded amount of header and content,
// so a header that never ends or a length that lies costs a parse error,
// never unbounded memory or a crash.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace scenc::lsp {

// The largest header block and the largest content accepted. The content of
// the biggest message a client sends, a whole source of the longest line in
// a didOpen, is a few hundred kilobytes.
inline constexpr std::size_t kLongestHeader = 8 * 1024;
inline constexpr std::size_t kLargestContent = 64u << 20;

// One unit the reader hands out: the content of a message, or the reason why
// the bytes at hand do not make one.
struct Frame {
  bool malformed = false;
  std::string content;  // the JSON text, or the reason when malformed
};

class MessageReader {
 public:
  void feed(std::string_view bytes);
  // The next whole message or malformed header, or nothing until more bytes
  // arrive. After a malformed header the bytes up to the next
  // "Content-Length" field are skipped.
  std::optional<Frame> next();

 private:
  // The header at the front of the buffer: true once it is complete and
  // `content_length_` is known, false when more bytes are needed; a
  // malformed header fills `reason`.
  bool read_header(std::string& reason);
  // Drops skipped bytes from the front of the buffer once they are many.
  void compact();

  std::string buffer_;
  std::size_t pos_ = 0;
  std::optional<std::size_t> content_length_;
  bool skipping_ = false;
};

// A message's content with its header, ready to write.
std::string frame(std::string_view content);

}  // namespace scenc::lsp
