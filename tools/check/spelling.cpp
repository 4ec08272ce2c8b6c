#include "tools/check/spelling.h"

#include <algorithm>
#include <vector>

#include "model/cp1252.h"

namespace scenc::tools {
namespace {

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr int kMissing = 2;  // a letter of the word missing from the text
constexpr int kExtra = 2;    // a letter of the text not in the word
constexpr int kSwapped = 2;  // two neighbours written the other way round
constexpr int kOther = 3;    // a letter written for another

}  // namespace

std::string lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = lower(c);
  return out;
}

std::string shown(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  std::string t(s);
  if (t.size() > 40) t = t.substr(0, 37) + "...";
  t = holds_utf8(t) ? t : cp1252_to_utf8(t);
  std::string out;
  for (const char c : t) {
    if (c == '\t') {
      out += "\\t";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

Mended mended_to_contain(std::string_view text, std::string_view word) {
  const std::size_t n = word.size();
  const std::size_t m = text.size();
  if (n == 0) return {std::string(text), 0};
  const std::string folded = lowered(text);
  // cost[i][j]: the cost for word[0..i) to end at text[0..j), and where in
  // the text that match began; any start is free.
  struct Cell {
    int cost = 0;
    std::size_t start = 0;
  };
  std::vector<Cell> before2(m + 1), before(m + 1), row(m + 1);
  for (std::size_t j = 0; j <= m; ++j) before[j] = {0, j};
  for (std::size_t i = 1; i <= n; ++i) {
    row[0] = {static_cast<int>(i) * kMissing, 0};
    for (std::size_t j = 1; j <= m; ++j) {
      const bool same = word[i - 1] == folded[j - 1];
      Cell best{before[j - 1].cost + (same ? 0 : kOther), before[j - 1].start};
      if (before[j].cost + kMissing < best.cost) {
        best = {before[j].cost + kMissing, before[j].start};
      }
      if (row[j - 1].cost + kExtra < best.cost) {
        best = {row[j - 1].cost + kExtra, row[j - 1].start};
      }
      if (i > 1 && j > 1 && word[i - 1] == folded[j - 2] &&
          word[i - 2] == folded[j - 1] &&
          before2[j - 2].cost + kSwapped < best.cost) {
        best = {before2[j - 2].cost + kSwapped, before2[j - 2].start};
      }
      row[j] = best;
    }
    before2 = before;
    before = row;
  }
  // Of the cheapest, the one that takes in most of the text: "pendenzza"
  // is "pendenza" with a letter too many, not "pendenz" with one missing.
  std::size_t end = 0;
  for (std::size_t j = 1; j <= m; ++j) {
    if (before[j].cost <= before[end].cost) end = j;
  }
  const Cell& found = before[end];
  if (found.cost == 0) return {std::string(text), 0};
  return {std::string(text.substr(0, found.start)) + std::string(word) +
              std::string(text.substr(end)),
          found.cost};
}

std::string_view nearest_header(std::string_view text,
                                std::span<const std::string_view> headers) {
  const std::string lower_text = lowered(text);
  std::string_view nearest;
  int nearest_cost = 4 * kEditCost;
  for (const std::string_view h : headers) {
    if (lower_text == h) return h;
    // Letters beyond the header's count as letters too many.
    const int cost =
        cost_to_contain(lower_text, h) +
        kExtra * static_cast<int>(lower_text.size() > h.size()
                                      ? lower_text.size() - h.size()
                                      : 0);
    if (cost < nearest_cost) {
      nearest = h;
      nearest_cost = cost;
    }
  }
  return nearest;
}

}  // namespace scenc::tools
