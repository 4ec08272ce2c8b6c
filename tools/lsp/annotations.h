// What the server lays over a source from the compile's own account: a hint
// after each position (the cell and kilometre it becomes, and the slot a
// station's position was stored into), the semantic tokens by which any
// client colours keywords, numbers, texts and comments, and where a place
// leads: the rows a diagnostic there names (the signal that already stands
// on a cell).
#pragma once

#include <nlohmann/json.hpp>

#include "tools/lsp/text.h"
#include "tools/lsp/workspace.h"

namespace scenc::lsp {

// A position in kilometres as the hints show it: "km 9.300", "km -0.100".
std::string kilometre(std::int64_t metres);

// The InlayHints of the `kind` source on the lines of `range`.
nlohmann::json inlay_hints(const CheckedPair& pair, SourceKind kind,
                           const Range& range, PositionEncoding units);

// The SemanticTokens of the `kind` source, in the legend of
// protocol::semantic_tokens_legend.
nlohmann::json semantic_tokens(const CheckedPair& pair, SourceKind kind,
                               PositionEncoding units);

// The Locations of the rows the diagnostics at `at` name; empty when none.
nlohmann::json definition(const CheckedPair& pair, SourceKind kind,
                          const Position& at, PositionEncoding units);

}  // namespace scenc::lsp
