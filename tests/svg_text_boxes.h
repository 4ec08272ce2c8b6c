// The boxes the texts of a plot take on the page, from the SVG itself:
// each <text> element's place, anchor, size, weight and rotation, with its
// width estimated as the plot estimates it, so that a test can show that no
// two texts of a picture meet.
#pragma once

#include <algorithm>
#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "tools/plot/svg_writer.h"

namespace scenc::testing {

struct TextBox {
  std::string text;
  double x0, y0, x1, y1;
};

inline std::string attribute(const std::string& element,
                             const std::string& name,
                             const std::string& otherwise = {}) {
  const std::regex pattern("\\s" + name + "=\"([^\"]*)\"");
  std::smatch m;
  return std::regex_search(element, m, pattern) ? m[1].str() : otherwise;
}

inline std::string unescaped(std::string s) {
  const std::pair<const char*, const char*> entities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}};
  for (const auto& [from, to] : entities) {
    for (std::size_t at = s.find(from); at != std::string::npos;
         at = s.find(from, at + 1)) {
      s.replace(at, std::string(from).size(), to);
    }
  }
  return s;
}

// Every non-empty text of `svg` with its box; `root_size` is the document's
// font size.
inline std::vector<TextBox> text_boxes(const std::string& svg,
                                       double root_size = 12) {
  std::vector<TextBox> boxes;
  const std::regex text_element("<text([^>]*)>([^<]*)</text>");
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), text_element);
       it != std::sregex_iterator(); ++it) {
    const std::string attributes = " " + (*it)[1].str();
    const std::string text = unescaped((*it)[2].str());
    if (text.empty()) continue;
    const double x = std::stod(attribute(attributes, "x", "0"));
    const double y = std::stod(attribute(attributes, "y", "0"));
    const double size = std::stod(
        attribute(attributes, "font-size", std::to_string(root_size)));
    const bool bold = attribute(attributes, "font-weight") == "bold";
    const double w = scenc::tools::text_width(text, size, bold);
    const std::string anchor = attribute(attributes, "text-anchor", "start");
    const double left = anchor == "middle" ? x - w / 2
                        : anchor == "end"  ? x - w
                                           : x;
    // The corners of the unrotated box, turned about the rotation's centre.
    double corners[4][2] = {{left, y - scenc::tools::kTextAscent * size},
                            {left + w, y - scenc::tools::kTextAscent * size},
                            {left, y + scenc::tools::kTextDescent * size},
                            {left + w, y + scenc::tools::kTextDescent * size}};
    std::smatch rotation;
    const std::string transform = attribute(attributes, "transform");
    if (std::regex_search(
            transform, rotation,
            std::regex("rotate\\(([-0-9.]+) ([-0-9.]+) ([-0-9.]+)\\)"))) {
      const double a = std::stod(rotation[1].str()) * M_PI / 180;
      const double cx = std::stod(rotation[2].str());
      const double cy = std::stod(rotation[3].str());
      for (auto& c : corners) {
        const double dx = c[0] - cx, dy = c[1] - cy;
        c[0] = cx + dx * std::cos(a) - dy * std::sin(a);
        c[1] = cy + dx * std::sin(a) + dy * std::cos(a);
      }
    }
    TextBox box{text, 1e18, 1e18, -1e18, -1e18};
    for (const auto& c : corners) {
      box.x0 = std::min(box.x0, c[0]);
      box.x1 = std::max(box.x1, c[0]);
      box.y0 = std::min(box.y0, c[1]);
      box.y1 = std::max(box.y1, c[1]);
    }
    boxes.push_back(box);
  }
  return boxes;
}

// Each pair of boxes that meet, as "A / B".
inline std::vector<std::string> overlapping(const std::vector<TextBox>& boxes) {
  std::vector<std::size_t> order(boxes.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return boxes[a].x0 < boxes[b].x0;
  });
  std::vector<std::string> out;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const TextBox& a = boxes[order[i]];
    for (std::size_t j = i + 1; j < order.size(); ++j) {
      const TextBox& b = boxes[order[j]];
      if (b.x0 >= a.x1) break;
      if (a.y0 < b.y1 && b.y0 < a.y1) out.push_back(a.text + " / " + b.text);
    }
  }
  return out;
}

}  // namespace scenc::testing
