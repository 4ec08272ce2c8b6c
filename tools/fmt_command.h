// `scenarioc fmt`: sources re-laid in the embedded sources' layout, never
// changing what the compiler reads; `--check` shows what it would change.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace scenc::tools {

struct FmtRequest {
  std::vector<std::string> files;  // "-" reads standard input
  bool check = false;  // change nothing; show a diff, status 1 if any
  std::string kind;    // "line", "train", or empty: from the name
};

// Formats each file in place (standard input to `out`), or with `check`
// prints the diff of each file not formatted to `out`; what it leaves as
// it stands, and why, goes to `err`. Returns the exit status.
int run_fmt(const FmtRequest& request, std::istream& in, std::ostream& out,
            std::ostream& err);

}  // namespace scenc::tools
