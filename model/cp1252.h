// The single-byte code page of every text the compiled files carry.
#pragma once

#include <string>
#include <string_view>

namespace scenc {

// Converts UTF-8 text to Windows-1252, one byte per character. A character
// the code page lacks becomes "?", and so does each malformed or truncated
// UTF-8 sequence (one "?" per sequence, as far as it was well begun).
std::string utf8_to_cp1252(std::string_view utf8);

}  // namespace scenc
