#include "tools/lsp_features.h"

namespace scenc::lsp {

using json = nlohmann::json;

json hover(const CheckedPair&, SourceKind, const Position&, PositionEncoding) {
  return nullptr;
}

json document_symbols(const TextDocument&, SourceKind, PositionEncoding) {
  return json::array();
}

json completion(const TextDocument&, SourceKind, const Position&,
                PositionEncoding) {
  return {{"isIncomplete", false}, {"items", json::array()}};
}

}  // namespace scenc::lsp
