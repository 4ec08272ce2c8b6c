// Names and signboard texts are stored as single-byte Windows-1252 text;
// terminals, JSON and SVG want UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace scenc::tools {

// Converts Windows-1252 bytes to UTF-8. The five bytes the code page leaves
// undefined map to the control characters of the same number.
std::string windows1252_to_utf8(std::string_view text);

}  // namespace scenc::tools
