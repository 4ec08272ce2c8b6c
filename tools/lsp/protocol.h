// The JSON shapes of the Language Server Protocol that the server sends,
// each built in one place: positions and ranges, diagnostics, text edits,
// locations, code actions, inlay hints and the legend of semantic tokens.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "tools/check/check.h"
#include "tools/lsp/text.h"

namespace scenc::lsp::protocol {

using json = nlohmann::json;

json position(const Position& p);
json range(const Range& r);

// The DiagnosticSeverity of a check's severity.
int severity(tools::Severity s);

// A Diagnostic of this server.
json diagnostic(const Range& range, int severity, const std::string& code,
                const std::string& message);

// A TextEdit: `range` of the document becomes `new_text` (UTF-8).
json text_edit(const Range& range, const std::string& new_text);

json location(const std::string& uri, const Range& range);

// A quick fix: its title, the diagnostic it mends, and its edits of the
// document `uri`.
json quick_fix(const std::string& title, json diagnostic,
               const std::string& uri, json edits);

// An InlayHint of the kind Type, written after `at`.
json inlay_hint(const Position& at, const std::string& label);

// The token types of the semantic tokens, by their index in the legend.
enum class TokenType : int { kKeyword, kNumber, kString, kComment };
json semantic_tokens_legend();

}  // namespace scenc::lsp::protocol
