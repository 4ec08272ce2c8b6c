#include "tools/lsp/annotations.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "compiler/keywords.h"
#include "tools/lsp/protocol.h"

namespace scenc::lsp {
namespace {

using json = nlohmann::json;
using tools::AccountSpan;
using tools::SourceAccount;

// The slot a field's value was stored into, as the compile recorded it.
std::optional<std::int64_t> slot_of(const SourceAccount& account,
                                    const SourceAccount::Row& row,
                                    const SourceAccount::Field& f) {
  for (const Store& s : account.stores_of(row)) {
    if (s.target == Store::Target::kSlot &&
        s.from == static_cast<int>(f.index)) {
      return s.first;
    }
  }
  return std::nullopt;
}

std::int64_t span_width(const AccountSpan& s) {
  return static_cast<std::int64_t>(s.end > s.begin ? s.end - s.begin : 0);
}

}  // namespace

std::string kilometre(std::int64_t metres) {
  const std::int64_t m = std::llabs(metres);
  std::string frac = std::to_string(m % 1000);
  frac.insert(0, 3 - frac.size(), '0');
  return std::string("km ") + (metres < 0 ? "-" : "") +
         std::to_string(m / 1000) + "." + frac;
}

json inlay_hints(const CheckedPair& pair, SourceKind kind, const Range& range,
                 PositionEncoding units) {
  const SourceAccount& account = pair.check.account.of(kind);
  const TextDocument& text = pair.side(kind).text();
  json hints = json::array();
  for (const SourceAccount::Row& row : account.rows) {
    if (row.keyword == nullptr) continue;
    for (const SourceAccount::Field& f : account.fields_of(row)) {
      if (f.index >= row.keyword->fields.size() ||
          row.keyword->fields[f.index].role != FieldRole::kPosition ||
          f.reading != NumberToken::Kind::kNumber) {
        continue;
      }
      const std::int64_t line0 = f.span.line - 1;
      if (line0 < range.start.line || line0 > range.end.line) continue;
      std::string label = "cell " + std::to_string(cell_index(f.value)) +
                          " · " + kilometre(f.value);
      if (const auto slot = slot_of(account, row, f)) {
        label += " · slot " + std::to_string(*slot);
      }
      hints.push_back(protocol::inlay_hint(
          text.to_client(f.span.line, f.span.column + span_width(f.span),
                         units),
          label));
    }
  }
  return hints;
}

namespace {

struct Token {
  std::size_t begin = 0;
  std::int64_t line = 0;
  std::int64_t column = 0;
  std::int64_t width = 0;  // bytes, on its first line
  protocol::TokenType type = protocol::TokenType::kKeyword;
};

// The width of a span on its first line.
std::int64_t first_line_width(std::string_view bytes, const AccountSpan& s) {
  std::size_t end = std::min(s.end, bytes.size());
  for (std::size_t i = std::min(s.begin, end); i < end; ++i) {
    if (bytes[i] == '\r' || bytes[i] == '\n') end = i;
  }
  return end > s.begin ? static_cast<std::int64_t>(end - s.begin) : 0;
}

}  // namespace

json semantic_tokens(const CheckedPair& pair, SourceKind kind,
                     PositionEncoding units) {
  const SourceAccount& account = pair.check.account.of(kind);
  const TextDocument& text = pair.side(kind).text();
  const std::string_view bytes = text.source_bytes();
  std::vector<bool> compiled(account.keywords.size(), false);
  std::vector<Token> tokens;
  const auto add = [&](const AccountSpan& s, protocol::TokenType type) {
    const std::int64_t width = first_line_width(bytes, s);
    if (width > 0) tokens.push_back({s.begin, s.line, s.column, width, type});
  };
  for (const SourceAccount::Row& row : account.rows) {
    if (row.keyword_read < compiled.size()) compiled[row.keyword_read] = true;
    for (const SourceAccount::Field& f : account.fields_of(row)) {
      add(f.span, f.type == FieldType::kText ? protocol::TokenType::kString
                                             : protocol::TokenType::kNumber);
    }
  }
  for (std::size_t k = 0; k < account.keywords.size(); ++k) {
    const auto& field = account.keywords[k];
    const std::string_view t = bytes.substr(
        std::min(field.span.begin, bytes.size()),
        field.span.end > field.span.begin ? field.span.end - field.span.begin
                                          : 0);
    if (compiled[k] || is_section_header(t)) {
      add(field.span, protocol::TokenType::kKeyword);
    } else if (field.part == SourcePart::kPreamble || is_comment(t)) {
      add(field.span, protocol::TokenType::kComment);
    }
  }
  std::sort(tokens.begin(), tokens.end(),
            [](const Token& a, const Token& b) { return a.begin < b.begin; });
  json data = json::array();
  Position last{0, 0};
  for (const Token& t : tokens) {
    const Position start = text.to_client(t.line, t.column, units);
    const Position end = text.to_client(t.line, t.column + t.width, units);
    const std::int64_t delta_line = start.line - last.line;
    data.push_back(delta_line);
    data.push_back(delta_line == 0 ? start.character - last.character
                                   : start.character);
    data.push_back(end.character - start.character);
    data.push_back(static_cast<int>(t.type));
    data.push_back(0);
    last = start;
  }
  return {{"data", std::move(data)}};
}

json definition(const CheckedPair& pair, SourceKind kind, const Position& at,
                PositionEncoding units) {
  const TextDocument& text = pair.side(kind).text();
  const auto [line, column] = text.to_source(at, units);
  json locations = json::array();
  for (const tools::AuthorDiagnostic& d : pair.check.diagnostics) {
    const SourceKind source =
        d.source == SourceKind::kNone ? SourceKind::kLine : d.source;
    if (source != kind || d.line != line || column < d.column ||
        (d.end_column > d.column && column > d.end_column)) {
      continue;
    }
    for (const tools::DiagnosticNote& n : d.notes) {
      const PairSide& side =
          pair.side(n.source == SourceKind::kNone ? kind : n.source);
      if (n.line <= 0 || side.uri.empty()) continue;
      locations.push_back(protocol::location(
          side.uri,
          field_range(side.text(), n.line, n.column, n.end_column, units)));
    }
  }
  return locations;
}

}  // namespace scenc::lsp
