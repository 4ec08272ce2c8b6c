// The formatter: an author's two sources re-laid in the layout of the
// embedded sources (one row a line from its first column, the numbers of a
// keyword aligned in columns within a section), comments, headers, blank
// lines and the preamble left where they stand, the line ends as the file
// has them. It works from the compile's own account of which bytes are
// which field of which row, so the compiler reads the formatted sources as
// it read them before; a row the account cannot vouch for (one that raised
// a fault, runs into the next line, reads a field as 0, shares its keyword
// with another row, ...) is left as it stands, and the formatter says why.
// Last, both sources are compiled again: when the files they give differ in
// any byte, nothing is changed. A section whose rows already stand one a
// line keeps its author's spacing, so formatting twice changes nothing.
// Bytes in memory in, edits out: no file system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/faults.h"
#include "tools/check/check.h"

namespace scenc::tools {

// One replacement in a source's bytes: [begin, end) becomes `text`. An edit
// covers whole lines, their last line end excluded.
struct SourceEdit {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::string text;
};

// A line the formatter left as it stands, and why.
struct LeftAsItStands {
  std::int64_t line = 0;  // 1-based; 0 for the whole source
  std::string reason;
};

struct FormattedSource {
  std::vector<SourceEdit> edits;  // in source order, none overlapping
  std::vector<LeftAsItStands> left;
  bool already_formatted() const { return edits.empty(); }
};

struct FormatResult {
  FormattedSource line;
  FormattedSource train;
  const FormattedSource& of(SourceKind kind) const {
    return kind == SourceKind::kTrain ? train : line;
  }
};

// Formats the two sources of a scenario named `line_name` / `train_number`.
FormatResult format_sources(std::string_view line_text,
                            std::string_view train_text,
                            std::string_view line_name,
                            std::string_view train_number);

// The same, from a check of exactly these two sources made already (the
// language server's of the documents as they stand): its account tells
// which bytes are which field, and its model, the plan of the line kept,
// is what the formatted sources must compile to again.
FormatResult format_sources(std::string_view line_text,
                            std::string_view train_text,
                            const CheckResult& before);

// The formatter's last guard: whether `line` and `train` compile to the
// very files of the compile `before` made (the same bytes of every file,
// the same fault recorded, the same error exit), `before`'s model keeping
// its plan of the line.
bool compiles_to_the_same(const CheckResult& before, std::string_view line,
                          std::string_view train);

// `bytes` with `edits` applied.
std::string apply_edits(std::string_view bytes,
                        std::span<const SourceEdit> edits);

}  // namespace scenc::tools
