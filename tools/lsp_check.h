// The author check as the language server uses it: one call that checks a
// pair of sources held in memory and keeps the compiled model. This is the
// one file that knows the check's own types; the server reads only these.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/faults.h"
#include "model/track_model.h"

namespace scenc::lsp {

enum class Severity : std::uint8_t { kError, kWarning, kNote };

// A place a finding points at besides its own: 1-based line and byte column
// (0 when not known).
struct RelatedPlace {
  std::string message;
  SourceKind source = SourceKind::kNone;
  std::int32_t line = 0;
  std::int32_t column = 0;
};

struct Finding {
  Severity severity = Severity::kError;
  std::string check;  // the stable name: "fault-16", "unknown-keyword"
  std::string message;
  SourceKind source = SourceKind::kNone;
  std::int32_t line = 0;  // 1-based; 0 when not known
  std::int32_t column = 0;
  std::int32_t end_column = 0;  // 0 when not known
  std::vector<RelatedPlace> related;
};

struct PairCheck {
  std::vector<Finding> findings;
  // The model as the compile left it (without the plan of the line).
  Model model;
};

// Checks the two sources, given as the bytes the compiler reads.
PairCheck check_pair(std::string_view line_source,
                     std::string_view train_source,
                     const std::string& line_name,
                     const std::string& train_number);

}  // namespace scenc::lsp
