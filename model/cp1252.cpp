#include "model/cp1252.h"

namespace scenc {
namespace {

unsigned char lower_byte(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 0x20);
  // The Latin-1 capitals sit 0x20 below their small letters; 0xD7 is the
  // multiplication sign and 0xDF (sharp s) has no capital in this range.
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) {
    return static_cast<unsigned char>(c + 0x20);
  }
  switch (c) {
    case 0x8A:
      return 0x9A;  // S caron
    case 0x8C:
      return 0x9C;  // OE ligature
    case 0x8E:
      return 0x9E;  // Z caron
    case 0x9F:
      return 0xFF;  // Y diaeresis
    default:
      return c;
  }
}

}  // namespace

std::string cp1252_lower(std::string_view text) {
  std::string out(text);
  for (char& ch : out) {
    ch = static_cast<char>(lower_byte(static_cast<unsigned char>(ch)));
  }
  return out;
}

}  // namespace scenc
