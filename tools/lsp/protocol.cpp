#include "tools/lsp/protocol.h"

namespace scenc::lsp::protocol {

json position(const Position& p) {
  return {{"line", p.line}, {"character", p.character}};
}

json range(const Range& r) {
  return {{"start", position(r.start)}, {"end", position(r.end)}};
}

int severity(tools::Severity s) {
  switch (s) {
    case tools::Severity::kError:
      return 1;
    case tools::Severity::kWarning:
      return 2;
    case tools::Severity::kNote:
      return 3;
  }
  return 1;
}

json diagnostic(const Range& r, int severity, const std::string& code,
                const std::string& message) {
  return {{"range", range(r)},
          {"severity", severity},
          {"code", code},
          {"source", "scenarioc"},
          {"message", message}};
}

json text_edit(const Range& r, const std::string& new_text) {
  return {{"range", range(r)}, {"newText", new_text}};
}

json location(const std::string& uri, const Range& r) {
  return {{"uri", uri}, {"range", range(r)}};
}

json quick_fix(const std::string& title, json diagnostic,
               const std::string& uri, json edits) {
  return {{"title", title},
          {"kind", "quickfix"},
          {"isPreferred", true},
          {"diagnostics", json::array({std::move(diagnostic)})},
          {"edit", {{"changes", {{uri, std::move(edits)}}}}}};
}

json inlay_hint(const Position& at, const std::string& label) {
  return {{"position", position(at)},
          {"label", label},
          {"kind", 1},  // Type: what the value becomes
          {"paddingLeft", true}};
}

json semantic_tokens_legend() {
  // In the order of TokenType.
  return {{"tokenTypes", {"keyword", "number", "string", "comment"}},
          {"tokenModifiers", json::array()}};
}

}  // namespace scenc::lsp::protocol
