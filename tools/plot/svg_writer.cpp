#include "tools/plot/svg_writer.h"

#include <algorithm>
#include <cstdio>

#include "model/cp1252.h"

namespace scenc::tools {

std::string svg_number(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.1f", v);
  return b;
}

std::string xml_characters(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const Utf8Character c = decode_utf8(utf8.substr(i));
    const char32_t cp = c.code_point;
    const bool allowed =
        c.size > 0 && (cp >= 0x20 || cp == '\t' || cp == '\n' || cp == '\r') &&
        !(cp >= 0xFDD0 && cp <= 0xFDEF) && (cp & 0xFFFE) != 0xFFFE;
    if (allowed) {
      out.append(utf8.substr(i, c.size));
    } else {
      out += "\xEF\xBF\xBD";  // U+FFFD, the replacement character
    }
    i += std::max<std::size_t>(c.size, 1);
  }
  return out;
}

std::string xml_escape(const std::string& utf8) {
  std::string out;
  for (const char c : xml_characters(utf8)) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

double text_width(const std::string& utf8, double font_size, bool bold) {
  // Count characters, not bytes: UTF-8 continuation bytes add nothing.
  double characters = 0;
  for (const char c : utf8) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) characters += 1;
  }
  return characters * font_size * (bold ? 0.72 : 0.64);
}

std::string stroke(const char* colour, double width, const std::string& extra) {
  return std::string("stroke=\"") + colour + "\" stroke-width=\"" +
         svg_number(width) + "\" fill=\"none\"" +
         (extra.empty() ? "" : " " + extra);
}

std::string fill(const char* colour, const std::string& extra) {
  return std::string("fill=\"") + colour + "\"" +
         (extra.empty() ? "" : " " + extra);
}

void SvgWriter::line(double x1, double y1, double x2, double y2,
                     const std::string& style) {
  out_ += "<line x1=\"" + svg_number(x1) + "\" y1=\"" + svg_number(y1) +
          "\" x2=\"" + svg_number(x2) + "\" y2=\"" + svg_number(y2) + "\" " +
          style + "/>\n";
}

void SvgWriter::rect(double x, double y, double w, double h,
                     const std::string& style) {
  out_ += "<rect x=\"" + svg_number(x) + "\" y=\"" + svg_number(y) +
          "\" width=\"" + svg_number(std::max(w, 0.0)) + "\" height=\"" +
          svg_number(std::max(h, 0.0)) + "\" " + style + "/>\n";
}

void SvgWriter::circle(double x, double y, double r, const std::string& style) {
  out_ += "<circle cx=\"" + svg_number(x) + "\" cy=\"" + svg_number(y) +
          "\" r=\"" + svg_number(r) + "\" " + style + "/>\n";
}

void SvgWriter::path(const std::string& d, const std::string& style) {
  out_ += "<path d=\"" + d + "\" " + style + "/>\n";
}

void SvgWriter::text(double x, double y, const std::string& utf8,
                     const std::string& attributes) {
  out_ += "<text x=\"" + svg_number(x) + "\" y=\"" + svg_number(y) + "\"" +
          (attributes.empty() ? "" : " " + attributes) + ">" +
          xml_escape(utf8) + "</text>\n";
}

void SvgWriter::begin_group(const std::string& title) {
  out_ += "<g><title>" + xml_escape(title) + "</title>\n";
}

void SvgWriter::end_group() { out_ += "</g>\n"; }

std::string SvgWriter::document(
    double width, double height, const char* font, int font_size,
    const std::string& title, std::initializer_list<const SvgWriter*> layers) {
  const std::string w = svg_number(width), h = svg_number(height);
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
      w + "\" height=\"" + h + "\" viewBox=\"0 0 " + w + " " + h +
      "\" font-family=\"" + font + "\" font-size=\"" +
      std::to_string(font_size) + "\">\n";
  out += "<title>" + xml_escape(title) + "</title>\n";
  out += "<rect x=\"0\" y=\"0\" width=\"" + w + "\" height=\"" + h +
         "\" fill=\"white\"/>\n";
  for (const SvgWriter* layer : layers) out += layer->str();
  out += "</svg>\n";
  return out;
}

}  // namespace scenc::tools
