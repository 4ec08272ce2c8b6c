#include "compiler/source_store.h"

#include <utility>

namespace scenc {

SourceStore::Status MemorySources::load(SourceKind source, SourceText& text) {
  auto& held = source == SourceKind::kLine ? line : train;
  if (!held) return Status::kMissing;
  // Handed over, not copied: a source is held once, by the compile.
  text.hold(std::move(*held));
  held->clear();
  return Status::kOk;
}

bool MemorySources::remove(SourceKind source) {
  auto& text = source == SourceKind::kLine ? line : train;
  bool& removed = source == SourceKind::kLine ? line_removed : train_removed;
  if (text) removed = true;
  text.reset();
  return true;
}

SourceStore::Status SourceViews::load(SourceKind source, SourceText& text) {
  const auto& kept = source == SourceKind::kLine ? line : train;
  if (!kept) return Status::kMissing;
  text.view(*kept);
  return Status::kOk;
}

bool SourceViews::remove(SourceKind) { return true; }

}  // namespace scenc
