// Words an author wrote set beside the words the compiler looks for: how
// far a keyword field is from holding a keyword, the field mended to hold
// it, the nearest section header, and text made fit for a message.
// Internal to the author check.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace scenc::tools {

// `s` with its capitals A to Z in small letters, as the keyword tests fold
// them.
std::string lowered(std::string_view s);

// Text for a message: single-byte text shown as a terminal shows UTF-8,
// blanks around it dropped, a long text shortened, a tab shown as \t.
std::string shown(std::string_view s);

// `text` mended to contain `word` at the least cost, and the cost. A letter
// missing from the text, a letter too many and two neighbours swapped cost
// 2 each, a letter written for another 3: a slip of one letter is nearer
// than a different word, so "curvd5" is "curvad5".
struct Mended {
  std::string text;
  int cost = 0;
};
Mended mended_to_contain(std::string_view text, std::string_view word);

// The least cost of mending `text` to contain `word` (0 when it does).
inline int cost_to_contain(std::string_view text, std::string_view word) {
  return mended_to_contain(text, word).cost;
}

// The cost of one edit, for tolerances.
inline constexpr int kEditCost = 2;

// The header of `headers` nearest to `text` (a bracketed field), or empty
// when none is within a few edits.
std::string_view nearest_header(std::string_view text,
                                std::span<const std::string_view> headers);

}  // namespace scenc::tools
