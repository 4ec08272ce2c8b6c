#include "compiler/source_store.h"

#include <utility>

namespace scenc {

SourceStore::Status MemorySources::load(SourceKind source, std::string& bytes) {
  auto& text = source == SourceKind::kLine ? line : train;
  if (!text) return Status::kMissing;
  // Handed over, not copied: a source is held once, by the compile.
  bytes = std::move(*text);
  text->clear();
  return Status::kOk;
}

bool MemorySources::remove(SourceKind source) {
  auto& text = source == SourceKind::kLine ? line : train;
  bool& removed = source == SourceKind::kLine ? line_removed : train_removed;
  if (text) removed = true;
  text.reset();
  return true;
}

}  // namespace scenc
