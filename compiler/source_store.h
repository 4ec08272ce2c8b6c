// How the compiler reaches its two source texts. The compiler itself never
// touches the file system: the scenario program backs this with the files in
// its program directory, `scenarioc` with the files an author names, tests
// with strings.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "model/track_model.h"

namespace scenc {

class SourceStore {
 public:
  enum class Status { kOk, kMissing, kUnreadable };

  virtual ~SourceStore() = default;
  // Fills `bytes` with the whole source, or says why it cannot be had. Each
  // source is loaded once.
  virtual Status load(SourceKind source, std::string& bytes) = 0;
  // Called once the compiler is done with a source (on every path once the
  // source has been found); false when the source could not be removed.
  virtual bool remove(SourceKind source) = 0;
};

// Sources held in memory and handed to the compile as they are loaded (the
// store keeps an empty text); `remove` only notes that the compiler let go.
class MemorySources final : public SourceStore {
 public:
  MemorySources() = default;
  MemorySources(std::string line, std::string train)
      : line(std::move(line)), train(std::move(train)) {}

  Status load(SourceKind source, std::string& bytes) override;
  bool remove(SourceKind source) override;

  std::optional<std::string> line;
  std::optional<std::string> train;
  bool line_removed = false;
  bool train_removed = false;
};

}  // namespace scenc
