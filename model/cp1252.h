// Single-byte text in the Windows-1252 code page, the character set of every
// name the model holds and the files store.
#pragma once

#include <string>
#include <string_view>

namespace scenc {

// Maps each capital letter of the code page to its small letter: A-Z, the
// capitals at 0x8A, 0x8C, 0x8E and 0x9F, and 0xC0-0xDE except the
// multiplication sign 0xD7. Every other byte is kept as it is.
std::string cp1252_lower(std::string_view text);

// Converts UTF-8 text to Windows-1252, one byte per character. A character
// the code page lacks becomes "?", and so does each malformed or truncated
// UTF-8 sequence (one "?" per sequence, as far as it was well begun).
std::string utf8_to_cp1252(std::string_view utf8);

// The character the UTF-8 sequence at the front of `text` stands for, and
// how many bytes it takes: none when the bytes there are no well-formed
// sequence (malformed, cut short, overlong, a surrogate, beyond U+10FFFF).
struct Utf8Character {
  char32_t code_point = 0;
  std::size_t size = 0;
};
Utf8Character decode_utf8(std::string_view text);

// Whether `text` is well-formed UTF-8 with at least one character outside
// ASCII: text an editor saved as UTF-8, which single-byte readers show as
// other characters.
bool holds_utf8(std::string_view text);

// Converts Windows-1252 text to UTF-8, for terminals, JSON and SVG. The five
// bytes the code page leaves undefined map to the control characters of the
// same number.
std::string cp1252_to_utf8(std::string_view text);

}  // namespace scenc
