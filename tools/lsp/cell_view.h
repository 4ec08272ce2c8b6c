// Where a slow order leads: the cells around it as the compile left them,
// as a read-only text an editor opens beside the source. A slow-order row
// places marks on cells that have no row of their own (its start, end,
// warning and approach cells), and the finishing pass places abbattimento
// marks around it; the view shows one line per cell (its number, the
// positions that fall into it, its kilometre, its kind and values as the
// dump words them, and the row that placed it) and says on which lines
// this slow order's marks stand.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/lsp/workspace.h"

namespace scenc::lsp {

struct CellView {
  std::string text;  // UTF-8, one line a cell after a header
  std::vector<std::int64_t> mark_lines;  // 0-based; the start cell's first
};

// The view of the slow order whose row stands on `line` (1-based) of the
// `kind` source of a checked pair; nothing where no slow order stands
// there, or where it placed no mark (a fault refused it).
std::optional<CellView> slow_order_cells(const CheckedPair& pair,
                                         SourceKind kind, std::int64_t line);

// The views one server writes, each a file of its own in a directory of
// the user's own (see private_directory), replaced safely and read-only. A
// view written again for the same row replaces the file before it; the
// files go when the server ends.
class CellViewFiles {
 public:
  CellViewFiles() = default;
  ~CellViewFiles();
  CellViewFiles(const CellViewFiles&) = delete;
  CellViewFiles& operator=(const CellViewFiles&) = delete;

  // Writes `view` for the row at `line` of the document `uri`, and returns
  // the file's URI; nothing where no directory of the user's own can be
  // had or the file cannot be written.
  std::optional<std::string> write(const std::string& uri, std::int64_t line,
                                   const CellView& view);

 private:
  std::optional<std::filesystem::path> directory_;
  bool looked_ = false;
  // The file of each row's last view, by document and line.
  std::map<std::pair<std::string, std::int64_t>, std::filesystem::path> files_;
};

}  // namespace scenc::lsp
