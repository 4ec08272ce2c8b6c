#include "tools/decompile/row_diff.h"

#include <algorithm>
#include <cstdint>

namespace scenc::tools {
namespace {

// Above this many pairs of rows, the rows between the common beginning and
// end are shown as removed and added without looking for common ones.
constexpr std::size_t kLargestTable = 1u << 22;

std::vector<std::string> lines_of(const RecoveredSource& source) {
  std::vector<std::string> lines;
  for (const RecoveredSection& s : source.sections) {
    lines.push_back(s.header);
    for (const RecoveredRow& row : s.rows) lines.push_back(row_text(row));
  }
  return lines;
}

bool is_header(const std::string& line) {
  return !line.empty() && line.front() == '[';
}

// The edit of a into b: the longest common run of lines kept, the rest
// removed or added.
std::vector<DiffLine> edit(const std::vector<std::string>& a,
                           const std::vector<std::string>& b) {
  std::size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  std::size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head &&
         a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) {
    ++tail;
  }
  std::vector<DiffLine> out;
  for (std::size_t i = 0; i < head; ++i) out.push_back({' ', a[i]});
  const std::size_t n = a.size() - head - tail;
  const std::size_t m = b.size() - head - tail;
  if (n * m > kLargestTable) {
    for (std::size_t i = 0; i < n; ++i) out.push_back({'-', a[head + i]});
    for (std::size_t j = 0; j < m; ++j) out.push_back({'+', b[head + j]});
  } else {
    // Longest common subsequence of the middles, from their ends.
    std::vector<std::uint32_t> len((n + 1) * (m + 1), 0);
    const auto at = [&](std::size_t i, std::size_t j) -> std::uint32_t& {
      return len[i * (m + 1) + j];
    };
    for (std::size_t i = n; i-- > 0;) {
      for (std::size_t j = m; j-- > 0;) {
        at(i, j) = a[head + i] == b[head + j]
                       ? at(i + 1, j + 1) + 1
                       : std::max(at(i + 1, j), at(i, j + 1));
      }
    }
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < n || j < m) {
      if (i < n && j < m && a[head + i] == b[head + j]) {
        out.push_back({' ', a[head + i]});
        ++i;
        ++j;
      } else if (j == m || (i < n && at(i + 1, j) >= at(i, j + 1))) {
        out.push_back({'-', a[head + i++]});
      } else {
        out.push_back({'+', b[head + j++]});
      }
    }
  }
  for (std::size_t i = a.size() - tail; i < a.size(); ++i)
    out.push_back({' ', a[i]});
  return out;
}

}  // namespace

std::vector<DiffLine> diff_sources(const RecoveredSource& before,
                                   const RecoveredSource& after) {
  const std::vector<DiffLine> all = edit(lines_of(before), lines_of(after));
  // Only the changes, each run under the header of the section it is in.
  std::vector<DiffLine> out;
  std::string header;
  bool header_shown = false;
  for (const DiffLine& d : all) {
    if (d.mark == ' ') {
      if (is_header(d.text)) {
        header = d.text;
        header_shown = false;
      }
      continue;
    }
    if (is_header(d.text)) {
      header = d.text;
      header_shown = true;
    } else if (!header_shown) {
      out.push_back({' ', header});
      header_shown = true;
    }
    out.push_back(d);
  }
  return out;
}

}  // namespace scenc::tools
