// A small writer of SVG text: shapes, texts and hover groups appended as
// elements, numbers with one decimal, text escaped for XML. Every drawing of
// the plot writes through it, so that no element is spelled out twice.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace scenc::tools {

// A number as the picture writes it: one decimal.
std::string svg_number(double v);

// `utf8` with every character that XML may not hold, or that is no
// character at all, replaced by U+FFFD: control characters but tab, line
// feed and carriage return; the non-characters U+FDD0 to U+FDEF and the
// last two of every plane (U+FFFE, U+FFFF, ...); bytes that are no UTF-8,
// lone surrogates among them. Whatever an author's names hold, the SVG and
// the HTML page stay well-formed.
std::string xml_characters(std::string_view utf8);

// `utf8` made safe as XML text or attribute value: its characters as
// above, and the markup characters escaped.
std::string xml_escape(const std::string& utf8);

// The extent of a text in the picture's font (DejaVu Sans, or a sans-serif
// close to it), estimated from a fixed width per character: 0.64 em, or
// 0.72 em in bold, at least the mean width of the capitals, digits and
// lower-case letters the plot writes. Vertically a text takes the font's
// ascent above its baseline and its descent below.
double text_width(const std::string& utf8, double font_size, bool bold = false);
inline constexpr double kTextAscent = 0.93;   // em
inline constexpr double kTextDescent = 0.24;  // em

// Presentation attributes: a stroke without fill, or a fill; `extra` is
// appended as given.
std::string stroke(const char* colour, double width,
                   const std::string& extra = {});
std::string fill(const char* colour, const std::string& extra = {});

class SvgWriter {
 public:
  // `style` is written as given, after the geometry.
  void line(double x1, double y1, double x2, double y2,
            const std::string& style);
  // A negative width or height is drawn as 0.
  void rect(double x, double y, double w, double h, const std::string& style);
  void circle(double x, double y, double r, const std::string& style);
  void path(const std::string& d, const std::string& style);
  // `utf8` is escaped here; `attributes` are written as given.
  void text(double x, double y, const std::string& utf8,
            const std::string& attributes = {});
  // A group whose title a viewer shows on hovering over its drawing.
  void begin_group(const std::string& title);
  void end_group();

  // The whole document: the root element of the given size and font, its
  // title, a white background, then `layers` in order.
  static std::string document(double width, double height, const char* font,
                              int font_size, const std::string& title,
                              std::initializer_list<const SvgWriter*> layers);

  const std::string& str() const { return out_; }

 private:
  std::string out_;
};

}  // namespace scenc::tools
