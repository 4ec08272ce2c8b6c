// What the server tells about a source beyond its diagnostics: the hover
// text of a row, the outline of a source and the keywords that may be
// written where the cursor stands.
#pragma once

#include <nlohmann/json.hpp>

#include "tools/lsp/text.h"
#include "tools/lsp/workspace.h"

namespace scenc::lsp {

// The Hover for the row at `at` in the `kind` source of a checked pair, or
// null when the cursor stands on nothing a row compiles.
nlohmann::json hover(const CheckedPair& pair, SourceKind kind,
                     const Position& at, PositionEncoding units);

// The DocumentSymbol tree of a source: its sections and their rows.
nlohmann::json document_symbols(const TextDocument& text, SourceKind kind,
                                PositionEncoding units);

// The CompletionList of the keywords of the section at `at`: each with its
// columns as snippet placeholders, or, for a client that takes no snippets,
// with its comma alone.
nlohmann::json completion(const TextDocument& text, SourceKind kind,
                          const Position& at, PositionEncoding units,
                          bool snippets);

}  // namespace scenc::lsp
