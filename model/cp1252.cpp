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

// The characters of bytes 0x80 to 0x9F; the other bytes of the page stand
// for the code point of the same number. The five bytes the page leaves
// undefined pass their own C1 code point through, as the common decoders do.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char to_byte(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] == c) return static_cast<char>(0x80 + i);
  }
  return '?';
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The range the byte after a lead byte must fall in, so that overlong
// forms, surrogates and code points above U+10FFFF are refused as early as
// possible.
struct Lead {
  int continuation_bytes;
  unsigned char second_low;
  unsigned char second_high;
};

bool lead_of(unsigned char b, Lead& lead) {
  if (b >= 0xC2 && b <= 0xDF)
    lead = {1, 0x80, 0xBF};
  else if (b == 0xE0)
    lead = {2, 0xA0, 0xBF};
  else if (b == 0xED)
    lead = {2, 0x80, 0x9F};
  else if (b >= 0xE1 && b <= 0xEF)
    lead = {2, 0x80, 0xBF};
  else if (b == 0xF0)
    lead = {3, 0x90, 0xBF};
  else if (b >= 0xF1 && b <= 0xF3)
    lead = {3, 0x80, 0xBF};
  else if (b == 0xF4)
    lead = {3, 0x80, 0x8F};
  else
    return false;
  return true;
}

}  // namespace

std::string cp1252_lower(std::string_view text) {
  std::string out(text);
  for (char& ch : out) {
    ch = static_cast<char>(lower_byte(static_cast<unsigned char>(ch)));
  }
  return out;
}

std::string utf8_to_cp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<unsigned char>(utf8[i++]);
    if (b < 0x80) {
      out.push_back(static_cast<char>(b));
      continue;
    }
    Lead lead{};
    if (!lead_of(b, lead)) {
      out.push_back('?');
      continue;
    }
    char32_t c = b & (0x3F >> lead.continuation_bytes);
    bool complete = true;
    for (int k = 0; k < lead.continuation_bytes; ++k) {
      const unsigned char low = k == 0 ? lead.second_low : 0x80;
      const unsigned char high = k == 0 ? lead.second_high : 0xBF;
      const auto next =
          i < utf8.size() ? static_cast<unsigned char>(utf8[i]) : 0;
      if (i >= utf8.size() || next < low || next > high) {
        complete = false;  // the byte that breaks the sequence starts anew
        break;
      }
      c = (c << 6) | (next & 0x3F);
      ++i;
    }
    out.push_back(complete ? to_byte(c) : '?');
  }
  return out;
}

Utf8Character decode_utf8(std::string_view text) {
  if (text.empty()) return {};
  const auto b = static_cast<unsigned char>(text[0]);
  if (b < 0x80) return {b, 1};
  Lead lead{};
  if (!lead_of(b, lead) ||
      text.size() < static_cast<std::size_t>(lead.continuation_bytes) + 1) {
    return {};
  }
  char32_t c = b & (0x3F >> lead.continuation_bytes);
  for (int k = 0; k < lead.continuation_bytes; ++k) {
    const unsigned char low = k == 0 ? lead.second_low : 0x80;
    const unsigned char high = k == 0 ? lead.second_high : 0xBF;
    const auto next =
        static_cast<unsigned char>(text[static_cast<std::size_t>(k) + 1]);
    if (next < low || next > high) return {};
    c = (c << 6) | (next & 0x3F);
  }
  return {c, static_cast<std::size_t>(lead.continuation_bytes) + 1};
}

bool holds_utf8(std::string_view text) {
  bool beyond_ascii = false;
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Character c = decode_utf8(text.substr(i));
    if (c.size == 0) return false;
    beyond_ascii = beyond_ascii || c.size > 1;
    i += c.size;
  }
  return beyond_ascii;
}

std::string cp1252_to_utf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    append_utf8(out, b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80]
                                           : static_cast<char32_t>(b));
  }
  return out;
}

}  // namespace scenc
