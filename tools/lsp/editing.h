// What the server changes in a source at the editor's asking: the
// formatter's edits of a whole source or of a range of its lines, and the
// quick fixes the check worked out for its diagnostics.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "tools/lsp/text.h"
#include "tools/lsp/workspace.h"

namespace scenc::lsp {

// The TextEdits that format the `kind` source of a checked pair, all of
// them or those on the lines of `range`.
nlohmann::json formatting(const CheckedPair& pair, SourceKind kind,
                          const std::optional<Range>& range,
                          PositionEncoding units);

// The CodeActions that mend the diagnostics of the `kind` source (the file
// `uri`) on the lines of `range`.
nlohmann::json code_actions(const CheckedPair& pair, SourceKind kind,
                            const std::string& uri, const Range& range,
                            PositionEncoding units);

}  // namespace scenc::lsp
