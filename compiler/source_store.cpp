#include "compiler/source_store.h"

namespace scenc {

SourceStore::Status MemorySources::load(SourceKind source, std::string& bytes) {
  const auto& text = source == SourceKind::kLine ? line : train;
  if (!text) return Status::kMissing;
  bytes = *text;
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
