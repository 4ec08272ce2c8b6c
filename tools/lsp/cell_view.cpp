#include "tools/lsp/cell_view.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>
#include <system_error>

#include "compiler/keywords.h"
#include "model/cell_kinds.h"
#include "output/file_system.h"
#include "tools/decode/describe.h"
#include "tools/lsp/annotations.h"

namespace scenc::lsp {
namespace {

namespace fs = std::filesystem;
using tools::SourceAccount;

std::string source_words(SourceKind kind) {
  return kind == SourceKind::kLine ? "the line source" : "the train source";
}

// The positions that fall into cell `i`: those whose cell is `i`, ties
// rounded to the even cell as the compile rounds them.
std::pair<std::int64_t, std::int64_t> positions_of(std::int64_t i) {
  std::int64_t from = tools::cell_position(i) - kCellLength / 2;
  std::int64_t to = tools::cell_position(i) + kCellLength / 2;
  if (cell_index(from) != i) ++from;
  if (cell_index(to) != i) --to;
  return {from, to};
}

std::string padded(std::string s, std::size_t width) {
  if (s.size() < width) s.append(width - s.size(), ' ');
  return s;
}

class SlowOrderView {
 public:
  SlowOrderView(const CheckedPair& pair, SourceKind kind,
                const SourceAccount::Row& row)
      : pair_(pair), model_(pair.check.model), kind_(kind), row_(row) {}

  std::optional<CellView> build() {
    collect_marks();
    if (own_.empty() || !model_.has_track_cells()) return std::nullopt;
    const auto [lowest, highest] =
        std::minmax_element(own_.begin(), own_.end());
    const std::int64_t first = std::max<std::int64_t>(*lowest - 2, 0);
    const std::int64_t last =
        std::min<std::int64_t>(*highest + 2, model_.last_cell());
    CellView view;
    header(view.text, first, last);
    const std::int64_t header_lines =
        std::count(view.text.begin(), view.text.end(), '\n');
    std::optional<std::int64_t> start_line;
    for (std::int64_t i = first; i <= last; ++i) {
      const std::int64_t line = header_lines + (i - first);
      view.text += cell_line(static_cast<std::int32_t>(i)) + "\n";
      if (own_.count(static_cast<std::int32_t>(i)) == 0) continue;
      const TrackCell& c = model_.track_cells[static_cast<std::size_t>(i)];
      if (!start_line && c.kind == cell_kind::kSlowOrderStart &&
          placed_here(static_cast<std::int32_t>(i))) {
        start_line = line;
      } else {
        view.mark_lines.push_back(line);
      }
    }
    if (start_line)
      view.mark_lines.insert(view.mark_lines.begin(), *start_line);
    return view;
  }

 private:
  // Whether a placement is this row's.
  bool is_this_row(const CellPlacement& p) const {
    return p.row.keyword.source == kind_ &&
           p.row.keyword.line == row_.keyword_span.line &&
           p.row.keyword.column == row_.keyword_span.column;
  }
  bool placed_here(std::int32_t cell) const {
    const CellPlacement* p = model_.placement_of(cell);
    return p != nullptr && is_this_row(*p);
  }

  // The cells this row placed a mark on and still holds, and the marks the
  // finishing pass placed for a cell of this row.
  void collect_marks() {
    for (const CellPlacement& p : model_.row_of_cell) {
      if (is_this_row(p) && placed_here(p.cell)) own_.insert(p.cell);
    }
    for (const FinishingMark& m : model_.finishing_marks) {
      if (placed_here(m.slow_order_cell)) {
        own_.insert(m.cell);
        pass_marks_[m.cell] = &m;
      }
    }
  }

  void header(std::string& out, std::int64_t first, std::int64_t last) const {
    const std::string name = pair_.side(kind_).file_name;
    out += "Cells " + std::to_string(first) + " to " + std::to_string(last) +
           " around the slow order at line " +
           std::to_string(row_.keyword_span.line) + " of " +
           (name.empty() ? source_words(kind_) : name) +
           ", as the compile left them (a view: edits here change nothing).\n";
    out +=
        "Marks of this slow order and of the finishing pass for it are "
        "flagged with *.\n\n";
    out +=
        "  cell  positions m      kilometre   kind                 values; "
        "placed by\n";
  }

  // The row that placed what stands on a cell, in an author's words.
  std::string placed_by(std::int32_t cell) const {
    if (const auto m = pass_marks_.find(cell); m != pass_marks_.end()) {
      return m->second->lowered
                 ? "lowered to its mark by the finishing pass, for this slow "
                   "order"
                 : "the finishing pass, for this slow order";
    }
    const CellPlacement* p = model_.placement_of(cell);
    if (p == nullptr) return {};
    if (is_this_row(*p)) return "this slow order";
    std::string words =
        "the row at line " + std::to_string(p->row.keyword.line);
    if (p->row.keyword.source != kind_) {
      words += " of " + source_words(p->row.keyword.source);
    }
    for (const FinishingMark& m : model_.finishing_marks) {
      if (m.cell == cell) return words + ", then the finishing pass";
    }
    return words;
  }

  std::string cell_line(std::int32_t i) const {
    const TrackCell& c = model_.track_cells[static_cast<std::size_t>(i)];
    const auto [from, to] = positions_of(i);
    char place[64];
    std::snprintf(place, sizeof place, "%c%5d  %7lld..%-7lld  ",
                  own_.count(i) != 0 ? '*' : ' ', i,
                  static_cast<long long>(from), static_cast<long long>(to));
    std::string values =
        tools::details_text(tools::describe_cell(i, c, &model_.scenario_slots));
    const std::string by = placed_by(i);
    if (!by.empty()) values += (values.empty() ? "" : "; ") + by;
    std::string line = place + padded(kilometre(tools::cell_position(i)), 12) +
                       padded(cell_kind_name(c.kind), 21) + values;
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
  }

  const CheckedPair& pair_;
  const Model& model_;
  SourceKind kind_;
  const SourceAccount::Row& row_;
  std::set<std::int32_t> own_;
  std::map<std::int32_t, const FinishingMark*> pass_marks_;
};

// FNV-1a of a view's text: a view that changes is a new file, so that an
// editor that holds the one before never shows it for the new one.
std::string digest(std::string_view text) {
  std::uint64_t h = 14695981039346656037ull;
  for (const char c : text) {
    h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  char out[17];
  std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(h));
  return out;
}

// A file name's letters, others as "_".
std::string plain(std::string_view name) {
  std::string out;
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    out += std::isalnum(b) || c == '.' || c == '-' || c == '_' ? c : '_';
  }
  return out;
}

}  // namespace

std::optional<CellView> slow_order_cells(const CheckedPair& pair,
                                         SourceKind kind, std::int64_t line) {
  if (!pair.check.account.of(kind).whole) return std::nullopt;
  for (const SourceAccount::Row& row : pair.check.account.of(kind).rows) {
    if (row.keyword != nullptr && row.keyword->type == RowType::kSlowOrder &&
        row.keyword_span.line == line) {
      return SlowOrderView(pair, kind, row).build();
    }
  }
  return std::nullopt;
}

CellViewFiles::~CellViewFiles() {
  for (const auto& [row, path] : files_) {
    std::error_code ignored;
    fs::remove(path, ignored);
  }
}

std::optional<std::string> CellViewFiles::write(const std::string& uri,
                                                std::int64_t line,
                                                const CellView& view) {
  if (!looked_) {
    directory_ = private_directory("scenarioc-lsp");
    looked_ = true;
  }
  if (!directory_) return std::nullopt;
  const DocumentName document = DocumentName::parse(uri);
  const std::string name =
      std::to_string(::getpid()) + "." + plain(document.name) + ".line" +
      std::to_string(line) + "." + digest(view.text) + ".cells";
  const fs::path path = *directory_ / name;
  try {
    DiskDirectory(*directory_).write(name, [&](ByteWriter& out) {
      out.bytes(view.text);
    });
  } catch (const FileError&) {
    return std::nullopt;
  }
  std::error_code ignored;
  fs::permissions(path, fs::perms::owner_read, ignored);
  fs::path& before = files_[{uri, line}];
  if (!before.empty() && before != path) fs::remove(before, ignored);
  before = path;
  return file_uri(path);
}

}  // namespace scenc::lsp
