// The lint layer of the author check: the warnings where what an author
// wrote and what the compiler does part ways. What a row means (its values,
// the row before it, what the compiler decided about it) is worded from the
// compile's account alone, so that no re-laying of the rows that the
// compiler cannot see changes it; only the warnings about layout (a row
// running over a line end, fields left over on a line, a keyword at the
// start of a line that matches nothing) read the author's lines, and say
// so. Internal to the author check.
#pragma once

#include <vector>

#include "model/track_model.h"
#include "tools/check/account.h"
#include "tools/check/check.h"
#include "tools/check/source_rows.h"
#include "tools/check/spelling.h"

namespace scenc::tools {

// What the lint needs to know of the check around it.
struct LintContext {
  const CompileAccountData& account;
  const SourceRows& line_rows;
  const SourceRows& train_rows;
  // The compile of the sources as given, finished as a build finishes it.
  const Model& model;
  const CheckOptions& options;
  // Whether the compile, recovering, read each source to its end: a table
  // missing from one it did not is not missing.
  bool line_read_whole = true;
  bool train_read_whole = true;
  // The sizes of the sources: one larger than kLargestCheckedSource is
  // known by its faults alone.
  std::size_t line_size = 0;
  std::size_t train_size = 0;
};

// The warnings on two sources, as `options` enables them.
std::vector<AuthorDiagnostic> lint_sources(const LintContext& context);

}  // namespace scenc::tools
