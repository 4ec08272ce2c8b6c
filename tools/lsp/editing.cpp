#include "tools/lsp/editing.h"

#include <algorithm>

#include "model/cp1252.h"
#include "tools/format/format.h"
#include "tools/lsp/protocol.h"

namespace scenc::lsp {
namespace {

using json = nlohmann::json;

// Bytes of a source as the editor holds its text.
std::string as_text(const TextDocument& text, std::string_view bytes) {
  return text.encoding() == FileEncoding::kUtf8 ? std::string(bytes)
                                                : cp1252_to_utf8(bytes);
}

// 1-based line and byte column of each offset of a source's bytes.
class Places {
 public:
  explicit Places(std::string_view bytes) {
    starts_.push_back(0);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const bool end = bytes[i] == '\n' ||
                       (bytes[i] == '\r' &&
                        (i + 1 >= bytes.size() || bytes[i + 1] != '\n'));
      if (end) starts_.push_back(i + 1);
    }
  }
  std::pair<std::int64_t, std::int64_t> of(std::size_t offset) const {
    const auto at = std::upper_bound(starts_.begin(), starts_.end(), offset);
    const auto line = static_cast<std::size_t>(at - starts_.begin() - 1);
    return {static_cast<std::int64_t>(line) + 1,
            static_cast<std::int64_t>(offset - starts_[line]) + 1};
  }

 private:
  std::vector<std::size_t> starts_;
};

Position client_place(const TextDocument& text, const Places& places,
                      std::size_t offset, PositionEncoding units) {
  const auto [line, column] = places.of(offset);
  return text.to_client(line, column, units);
}

}  // namespace

json formatting(const CheckedPair& pair, SourceKind kind,
                const std::optional<Range>& range, PositionEncoding units) {
  // The pair's check is the check of exactly these bytes, made when they
  // last changed: the formatter re-lays the rows by its account and
  // compares what the formatted sources compile to with its model, so only
  // the formatted sources are compiled here.
  const tools::FormatResult r =
      tools::format_sources(pair.bytes(SourceKind::kLine),
                            pair.bytes(SourceKind::kTrain), pair.check);
  const TextDocument& text = pair.side(kind).text();
  const Places places(text.source_bytes());
  json edits = json::array();
  for (const tools::SourceEdit& e : r.of(kind).edits) {
    const Range at{client_place(text, places, e.begin, units),
                   client_place(text, places, e.end, units)};
    if (range && (at.end.line < range->start.line ||
                  at.start.line > range->end.line)) {
      continue;
    }
    edits.push_back(protocol::text_edit(at, as_text(text, e.text)));
  }
  return edits;
}

json code_actions(const CheckedPair& pair, SourceKind kind,
                  const std::string& uri, const Range& range,
                  PositionEncoding units) {
  const TextDocument& text = pair.side(kind).text();
  json actions = json::array();
  for (const tools::AuthorDiagnostic& d : pair.check.diagnostics) {
    const SourceKind source =
        d.source == SourceKind::kNone ? SourceKind::kLine : d.source;
    if (source != kind || !d.fix) continue;
    const Range at =
        field_range(text, d.line, d.column, d.end_column, units);
    if (at.end.line < range.start.line || at.start.line > range.end.line) {
      continue;
    }
    const tools::DiagnosticFix& fix = *d.fix;
    const Range fixed{text.to_client(fix.line, fix.column, units),
                      text.to_client(fix.line, fix.end_column, units)};
    actions.push_back(protocol::quick_fix(
        fix.title,
        protocol::diagnostic(at, protocol::severity(d.severity), d.check,
                             d.message),
        uri,
        json::array(
            {protocol::text_edit(fixed, as_text(text, fix.replacement))})));
  }
  return actions;
}

}  // namespace scenc::lsp
