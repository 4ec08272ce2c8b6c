// How the compiler reaches its two source texts. The compiler itself never
// touches the file system: the scenario program backs this with the files in
// its program directory, `scenarioc` with the files an author names, tests
// with strings.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "model/track_model.h"

namespace scenc {

// A source's bytes as a store gives them to the compile: either handed over
// to it, or a view of bytes the store keeps unchanged until the compile has
// returned. Either way the compile holds no second copy.
class SourceText {
 public:
  SourceText() = default;
  SourceText(const SourceText&) = delete;
  SourceText& operator=(const SourceText&) = delete;

  void hold(std::string bytes) {
    held_ = std::move(bytes);
    bytes_ = held_;
  }
  void view(std::string_view bytes) {
    held_.clear();
    bytes_ = bytes;
  }
  std::string_view bytes() const { return bytes_; }

 private:
  std::string held_;
  std::string_view bytes_;
};

class SourceStore {
 public:
  enum class Status { kOk, kMissing, kUnreadable };

  virtual ~SourceStore() = default;
  // Gives the whole source in `text`, or says why it cannot be had. Each
  // source is loaded once.
  virtual Status load(SourceKind source, SourceText& text) = 0;
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

  Status load(SourceKind source, SourceText& text) override;
  bool remove(SourceKind source) override;

  std::optional<std::string> line;
  std::optional<std::string> train;
  bool line_removed = false;
  bool train_removed = false;
};

// Sources that belong to the caller and outlive the compile: each compile
// reads a view of them, so that any number of compiles of one pair hold it
// once. `remove` only notes that the compiler let go.
class SourceViews final : public SourceStore {
 public:
  SourceViews(std::optional<std::string_view> line,
              std::optional<std::string_view> train)
      : line(line), train(train) {}

  Status load(SourceKind source, SourceText& text) override;
  bool remove(SourceKind source) override;

  std::optional<std::string_view> line;
  std::optional<std::string_view> train;
};

}  // namespace scenc
